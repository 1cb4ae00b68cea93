// Functions of system DLLs the engine does not link: loaded from System32 on first use, so that a run
// that needs none of them never loads the DLL (a shell's start, and that of what it loads in turn,
// costs more than a small scan).
#pragma once

#include <windows.h>

// The function `name` of `dll`, or null when either is missing. The DLL stays loaded.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}
