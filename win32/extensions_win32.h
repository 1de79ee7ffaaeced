// The main window's part in the extensions and its dialogs: both dialogs shown modally, the timer
// the extensions' round runs on, and the chime. Windows only; the rules are the controller's.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/voice.h"
#include "live/controller.h"

// The main window's timer for the extensions' round.
constexpr UINT_PTR kExtensionTimerId = 1;

// Shows "Parametry" or "Obsluga zamówien" modally over `window`; returns whether OK stored.
bool show_dialog(HWND window, DialogKind kind);

void arm_extension_timer(HWND window, uint32_t wait_ms);
void cancel_extension_timer(HWND window);

// Plays the built-in chime without waiting for it; from any thread.
void play_chime();

// The seam tests count plays through: what play_chime calls (the resource through PlaySound
// unless replaced).
void set_chime_player(void (*player)());
void play_chime_resource();

// Says a phrase without waiting for it, from the speaker's thread; returns how long it sounds.
// Through the same seam: what say_phrase calls (the clips joined and played from memory unless
// replaced).
int64_t say_phrase(const Phrase& phrase);
void set_voice_player(int64_t (*player)(const Phrase& phrase));
int64_t say_phrase_clips(const Phrase& phrase);
