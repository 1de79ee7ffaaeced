// The extensions' and dialogs' Win32 side: modal dialog boxes, SetTimer, and PlaySound.
#include "win32/extensions_win32.h"

#include <mmsystem.h>

#include <atomic>
#include <vector>

#include "core/voice_clips.h"

#include "res/resource.h"
#include "win32/service_dialog_win32.h"
#include "win32/settings_dialog_win32.h"

namespace {

std::atomic<void (*)()> g_chime_player{play_chime_resource};
std::atomic<int64_t (*)(const Phrase&)> g_voice_player{say_phrase_clips};

}  // namespace

bool show_dialog(HWND window, DialogKind kind) {
    const bool settings = kind == DialogKind::kSettings;
    const INT_PTR result =
        DialogBoxParamA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
                        MAKEINTRESOURCEA(settings ? IDD_SETTINGS : IDD_SERVICE), window,
                        settings ? settings_dialog_proc : service_dialog_proc, 0);
    return result == IDOK;
}

void arm_extension_timer(HWND window, uint32_t wait_ms) {
    // The platform's least wait, as SetTimer would round up to anyway.
    SetTimer(window, kExtensionTimerId, wait_ms < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : wait_ms,
             nullptr);
}

void cancel_extension_timer(HWND window) {
    KillTimer(window, kExtensionTimerId);
}

void play_chime() {
    g_chime_player.load()();
}

void set_chime_player(void (*player)()) {
    g_chime_player.store(player != nullptr ? player : play_chime_resource);
}

void play_chime_resource() {
    // Asynchronous: the sound plays on while the receiver goes on reading. No default sound when
    // the resource cannot be played.
    PlaySoundA(MAKEINTRESOURCEA(IDR_CHIME), GetModuleHandleA(nullptr),
               SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

int64_t say_phrase(const Phrase& phrase) {
    return g_voice_player.load()(phrase);
}

void set_voice_player(int64_t (*player)(const Phrase& phrase)) {
    g_voice_player.store(player != nullptr ? player : say_phrase_clips);
}

int64_t say_phrase_clips(const Phrase& phrase) {
    // PlaySound reads the memory while it plays, so the buffer outlives the call and the program's
    // static destructors (never freed); the sound before is stopped before its buffer is reused.
    // The speaker's thread is the only caller.
    static std::vector<unsigned char>* wave = new std::vector<unsigned char>;
    PlaySoundA(nullptr, nullptr, 0);
    *wave = joined_phrase(phrase);
    if (wave->empty()) {
        return 0;
    }
    PlaySoundA(reinterpret_cast<LPCSTR>(wave->data()), nullptr,
               SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
    return wave_ms(*wave);
}
