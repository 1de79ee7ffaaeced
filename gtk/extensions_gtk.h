// The GTK board's part in the extensions: the one timer that expiry and the highlight share, and
// the chime. Linux only; the rules they follow are portable.
#pragma once

// How the timer asks for the board to be drawn again (on the GTK thread).
void set_extension_redraw(void (*redraw)());

// Arms a one-shot timeout for the next round that is due, or removes it when none is: with every
// extension off no timer runs at all. Called after every paint and after either dialog.
void schedule_extension_timer();

// Removes the timer (at exit).
void stop_extension_timer();

// Plays the built-in chime without waiting for it; from any thread.
void play_chime();

// The seam tests count plays through: what play_chime calls (the resource played on the GTK
// thread unless replaced).
void set_chime_player(void (*player)());
void play_chime_resource();
