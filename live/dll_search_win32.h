// Where the Windows programs take DLLs from. Both run in folders that any user may write to (the
// board in the shared data folder, the sender wherever a till starts it), so no DLL is taken from
// there, nor from the current folder: only from System32.
#pragma once

#include <windows.h>

// Called first thing in each program, before anything loads a DLL on demand. Windows 7 without
// the update that added SetDefaultDllDirectories at least leaves the current folder out.
inline void load_dlls_from_system32_only() {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Through void (*)(), which converts to any function pointer without a warning.
    const auto set_default = reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void (*)()>(
        kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (set_default == nullptr || set_default(LOAD_LIBRARY_SEARCH_SYSTEM32) == 0) {
        SetDllDirectoryA("");
    }
}
