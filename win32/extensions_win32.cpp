// The extensions' Win32 side: a one-shot timer re-set after every paint and round, the second
// dialog, and PlaySound for the chime.
#include "win32/extensions_win32.h"

#include <mmsystem.h>

#include <atomic>

#include "live/live_board.h"
#include "res/resource.h"
#include "win32/service_dialog_win32.h"

namespace {

bool g_timer_set = false;  // window thread only
std::atomic<void (*)()> g_chime_player{play_chime_resource};

void set_timer_for(HWND window, int64_t due) {
    if (due == kNever) {
        if (g_timer_set) {
            KillTimer(window, kExtensionTimerId);
            g_timer_set = false;
        }
        return;
    }
    const int64_t wait = due - live_board().clock();
    // The platform rounds a shorter wait up to its least; a longer one than a day cannot be due.
    const UINT delay = static_cast<UINT>(wait < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : wait);
    g_timer_set = SetTimer(window, kExtensionTimerId, delay, nullptr) != 0;
}

}  // namespace

void open_service_dialog(HWND window) {
    const INT_PTR result =
        DialogBoxParamA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
                        MAKEINTRESOURCEA(IDD_SERVICE), window, service_dialog_proc, 0);
    if (result == IDOK) {
        InvalidateRect(window, nullptr, FALSE);
    }
    schedule_extension_timer(window);
}

void schedule_extension_timer(HWND window) {
    set_timer_for(window, next_timer_round(live_board()));
}

void run_extension_timer(HWND window) {
    const TimerRound round = run_timer_round(live_board());
    if (round.repaint) {
        InvalidateRect(window, nullptr, FALSE);
    }
    set_timer_for(window, round.due);
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
