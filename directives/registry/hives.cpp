#include <cwchar>
#include <string>

#include "directives/registry/registry.h"
#include "util/registry_read.h"

// Rows follow the names: HKEY_CURRENT_CONFIG and HKEY_PERFORMANCE_DATA have the numbers the other
// way round.
const wchar_t* const HIVES_SHORT[] = {L"HKCR", L"HKCU", L"HKLM", L"HKU", L"HKCC", L"HKPD"};
const wchar_t* const HIVES_LONG[] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER",   L"HKEY_LOCAL_MACHINE",
                                     L"HKEY_USERS",        L"HKEY_CURRENT_CONFIG", L"HKEY_PERFORMANCE_DATA"};
const HKEY HIVES[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                      HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_PERFORMANCE_DATA};
const size_t NUM_HIVES = sizeof HIVES / sizeof HIVES[0];

static_assert(sizeof HIVES_SHORT / sizeof HIVES_SHORT[0] == sizeof HIVES / sizeof HIVES[0]);
static_assert(sizeof HIVES_LONG / sizeof HIVES_LONG[0] == sizeof HIVES / sizeof HIVES[0]);

HKEY GetHive(const wchar_t* path) {
    std::wstring component(path, wcscspn(path, L"\\"));
    if (component.empty()) return nullptr;
    for (size_t row = 0; row < NUM_HIVES; ++row) {
        if (_tcscmpi(component.c_str(), HIVES_SHORT[row]) == 0 || _tcscmpi(component.c_str(), HIVES_LONG[row]) == 0) {
            return HIVES[row];
        }
    }
    return nullptr;
}

const wchar_t* GetHiveString(HKEY key) {
    for (size_t row = 0; row < NUM_HIVES; ++row) {
        if (HIVES[row] == key) return HIVES_LONG[row];
    }
    return nullptr;
}

wchar_t* GetRegPath(const wchar_t* path) {
    const wchar_t* backslash = wcschr(path, L'\\');
    if (backslash == nullptr) return nullptr;
    return NewText(backslash + 1);
}
