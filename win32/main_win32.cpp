// The program's entry: start-up in a fixed order, the main window and its keys, the message loop
// and the way out.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "core/command_line.h"
#include "live/controller.h"
#include "live/speaker.h"
#include "web/web_front.h"
#include "live/receiver.h"
#include "res/resource.h"
#include "live/dll_search_win32.h"
#include "win32/extensions_win32.h"
#include "win32/kiosk_win32.h"
#include "win32/paint_win32.h"
#ifdef PELIVOR_PAINT_TIMESTAMPS
#include "win32/paint_timestamps.h"
#endif

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

constexpr int kNameSize = 100;

HINSTANCE g_instance;
char g_title[kNameSize];
char g_class_name[kNameSize];
// Written once by the window thread, read by the receiver thread for its repaint requests.
std::atomic<HWND> g_main_window{nullptr};

// The shell table: what only Windows can do for the controller.
void request_repaint(void*) {
    const HWND window = g_main_window.load();
    if (window != nullptr) {
        InvalidateRect(window, nullptr, FALSE);
    }
}

void arm_timer(void*, ShellTimer timer, uint32_t wait_ms) {
    if (timer == ShellTimer::kRound) {
        arm_extension_timer(g_main_window.load(), wait_ms);
    } else {
        kiosk_arm_pointer_timer(g_main_window.load(), wait_ms);
    }
}

void cancel_timer(void*, ShellTimer timer) {
    if (timer == ShellTimer::kRound) {
        cancel_extension_timer(g_main_window.load());
    } else {
        kiosk_cancel_pointer_timer(g_main_window.load());
    }
}

void chime(void*) {
    play_chime();
}

// Modal: the dialog has gone when this returns.
void open_dialog(void*, DialogKind kind) {
    const bool stored = show_dialog(g_main_window.load(), kind);
    controller_dialog_closed(board_controller(), kind, stored);
}

void quit(void*) {
    DestroyWindow(g_main_window.load());
}

void show_pointer(void*, bool shown) {
    kiosk_show_pointer(shown);
}

const ShellOps kShellOps = {request_repaint, arm_timer, cancel_timer, chime,
                            open_dialog,     quit,      show_pointer};

#ifdef PELIVOR_PAINT_TIMESTAMPS
// The receiver's repaint hook, counting every accepted text before the controller coalesces.
void counted_repaint() {
    note_accepted_text();
    controller_board_changed(board_controller());
}
#endif

void register_window_class() {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    // Any change of size redraws the whole board: cells and font follow the client area.
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = g_instance;
    window_class.hIcon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_PELIVOR));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = g_class_name;
    window_class.hIconSm = window_class.hIcon;
    RegisterClassExA(&window_class);
}

HWND create_main_window(bool framed) {
    return CreateWindowExA(0,                                            // dwExStyle
                           g_class_name, g_title,                        //
                           framed ? WS_OVERLAPPEDWINDOW                  //
                                  : WS_POPUP | WS_VISIBLE | WS_SYSMENU,  // dwStyle
                           CW_USEDEFAULT,                                // x
                           framed ? CW_USEDEFAULT : 0,                   // y
                           CW_USEDEFAULT,                                // nWidth
                           framed ? CW_USEDEFAULT : 0,                   // nHeight
                           nullptr, nullptr, g_instance, nullptr);  // parent, menu, instance, param
}

// --help and --version go where the board's output goes, else to the console of the program that
// started it; a message box only when there is neither.
void answer_command_line(const char* answer) {
    const DWORD size = static_cast<DWORD>(std::strlen(answer));
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE &&
        WriteFile(out, answer, size, &written, nullptr)) {
        return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr);
        if (out != INVALID_HANDLE_VALUE && WriteFile(out, answer, size, &written, nullptr)) {
            return;
        }
    }
    MessageBoxA(nullptr, answer, g_title, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT answered = 0;
    if (kiosk_pointer_message(window, message, wParam, lParam, &answered)) {
        return answered;
    }
    Controller& controller = board_controller();
    switch (message) {
        case WM_PAINT:
            paint_board(window);
            controller_painted(controller);
            return 0;
        case WM_CHAR:
            controller_key(controller,
                           BoardKey{true, static_cast<uint32_t>(wParam & 0xFF), 0, false});
            return 0;
        case WM_KEYDOWN:
            if (wParam >= VK_F1 && wParam <= VK_F24 &&
                controller_key(controller,
                               BoardKey{false, 0, static_cast<int>(wParam - VK_F1) + 1, false})) {
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_TIMER:
            if (wParam == kExtensionTimerId) {
                controller_timer_fired(controller, ShellTimer::kRound);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDM_EXIT) {
                DestroyWindow(window);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_DESTROY:
            g_main_window.store(nullptr);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    load_dlls_from_system32_only();
    g_instance = instance;
    LoadStringA(instance, IDS_APP_TITLE, g_title, kNameSize);
    LoadStringA(instance, IDS_WINDOW_CLASS, g_class_name, kNameSize);
    if (const char* answer = command_line_answer_in(command_line)) {
        answer_command_line(answer);
        return 0;
    }
    register_window_class();

    Controller& controller = board_controller();
    controller.ops = &kShellOps;
    controller.speaker->say = say_phrase;
    controller.web = web_front_ops(controller);
    const bool framed = controller_start(controller);
    const HWND window = create_main_window(framed);
    if (window == nullptr) {
        controller_stop(controller);  // the thread must be joined before the program ends
        return 0;
    }
    g_main_window.store(window);
    kiosk_watch_pointer(window, &controller);
    controller_window_ready(controller);
#ifdef PELIVOR_PAINT_TIMESTAMPS
    set_repaint_hook(counted_repaint);
#endif
    ShowWindow(window, SW_SHOWMAXIMIZED);
    UpdateWindow(window);
    kiosk_keep_awake();

    const HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_PELIVOR));
    MSG msg{};
    // GetMessage returns -1 on failure; looping on it would spin for ever.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(msg.hwnd, accelerators, &msg) == 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    kiosk_release();
    controller_stop(controller);
    return static_cast<int>(msg.wParam);
}
