// A helper for the end-to-end tests: does to the running board's main window what no key can,
// from outside its process as another program would.
//   pelivor-window-tool command ID    posts WM_COMMAND ID to the window
//   pelivor-window-tool resize W H    restores the window and gives it a client area of W x H,
//                                     then prints the client area's screen rectangle: X Y W H
//   pelivor-window-tool load DLL [EXE] has the board's process (or the first one named EXE) load
//                                     DLL by its bare name, as a search on its behalf would;
//                                     prints "loaded" or "not loaded"
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD process_named(const char* exe) {
    DWORD found = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && found == 0;
         more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, exe) == 0) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

// A thread of the target's own runs LoadLibraryA on the name, so the target's folder and DLL
// search settings decide. kernel32 lies at one address in every process of a session.
int load_in(DWORD id, const char* dll) {
    const HANDLE process =
        OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                        PROCESS_VM_WRITE | PROCESS_VM_READ,
                    FALSE, id);
    if (process == nullptr) {
        std::fprintf(stderr, "no such process\n");
        return 1;
    }
    const size_t size = std::strlen(dll) + 1;
    void* name = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    const HANDLE thread =
        name != nullptr && WriteProcessMemory(process, name, dll, size, nullptr) != 0
            ? CreateRemoteThread(process, nullptr, 0, load, name, 0, nullptr)
            : nullptr;
    DWORD module = 0;
    const bool ran = thread != nullptr && WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 &&
                     GetExitCodeThread(thread, &module) != 0;
    CloseHandle(process);
    if (!ran) {
        std::fprintf(stderr, "could not run a thread in the process\n");
        return 1;
    }
    std::puts(module != 0 ? "loaded" : "not loaded");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "load") == 0) {
        DWORD id = 0;
        if (argc == 4) {
            id = process_named(argv[3]);
        } else if (const HWND board = FindWindowA("PELIVOR", nullptr)) {
            GetWindowThreadProcessId(board, &id);
        }
        return load_in(id, argv[2]);
    }
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
    std::fprintf(stderr, "usage: pelivor-window-tool command ID | resize W H | load DLL [EXE]\n");
    return 2;
}
