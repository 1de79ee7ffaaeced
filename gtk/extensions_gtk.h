// The GTK board's chime, played from the program's own resource, and the voice's phrases. Linux
// only; when either may sound is the controller's rule.
#pragma once

#include <cstdint>

#include "core/voice.h"

// Plays the built-in chime without waiting for it; from any thread.
void play_chime();

// Lets go of the last streams and the phrases' files (at exit).
void stop_chime();

// The seam tests count plays through: what play_chime calls (the resource played on the GTK
// thread unless replaced).
void set_chime_player(void (*player)());
void play_chime_resource();

// Says a phrase without waiting for it, from the speaker's thread; returns how long it sounds.
// Through the same seam: what say_phrase calls (the clips joined and played unless replaced).
int64_t say_phrase(const Phrase& phrase);
void set_voice_player(int64_t (*player)(const Phrase& phrase));
int64_t say_phrase_clips(const Phrase& phrase);
