// The GTK board's chime, played from the program's own resource. Linux only; when it may sound
// is the controller's rule.
#pragma once

// Plays the built-in chime without waiting for it; from any thread.
void play_chime();

// Lets go of the last stream (at exit).
void stop_chime();

// The seam tests count plays through: what play_chime calls (the resource played on the GTK
// thread unless replaced).
void set_chime_player(void (*player)());
void play_chime_resource();
