// A helper for the end-to-end tests: does to the running board's main window what no key can,
// from outside its process as another program would.
//   pelivor-window-tool command ID    posts WM_COMMAND ID to the window
//   pelivor-window-tool resize W H    restores the window and gives it a client area of W x H,
//                                     then prints the client area's screen rectangle: X Y W H
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const HWND window = FindWindowA("PELIVOR", nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "no board window\n");
        return 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "command") == 0) {
        return PostMessageA(window, WM_COMMAND, std::atoi(argv[2]), 0) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "resize") == 0) {
        ShowWindow(window, SW_RESTORE);
        RECT outer{0, 0, std::atoi(argv[2]), std::atoi(argv[3])};
        AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client{};
        GetClientRect(window, &client);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        std::printf("%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
        return 0;
    }
    std::fprintf(stderr, "usage: pelivor-window-tool command ID | resize W H\n");
    return 2;
}
