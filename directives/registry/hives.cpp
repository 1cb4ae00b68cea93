#include <cwchar>
#include <string>

#include "directives/registry/registry.h"

// Rows follow the names: HKEY_CURRENT_CONFIG and HKEY_PERFORMANCE_DATA have the numbers the other
// way round.
const Hive HIVES[] = {
    {HKEY_CLASSES_ROOT, L"HKCR", L"HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, L"HKCU", L"HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"HKEY_LOCAL_MACHINE"},   {HKEY_USERS, L"HKU", L"HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, L"HKCC", L"HKEY_CURRENT_CONFIG"}, {HKEY_PERFORMANCE_DATA, L"HKPD", L"HKEY_PERFORMANCE_DATA"},
};
const size_t NUM_HIVES = sizeof HIVES / sizeof HIVES[0];

HKEY GetHive(const wchar_t* path) {
    std::wstring component(path, wcscspn(path, L"\\"));
    if (component.empty()) return nullptr;
    for (const Hive& hive : HIVES) {
        if (_tcscmpi(component.c_str(), hive.shortName) == 0 || _tcscmpi(component.c_str(), hive.longName) == 0) {
            return hive.key;
        }
    }
    return nullptr;
}

const wchar_t* GetHiveString(HKEY key) {
    for (const Hive& hive : HIVES) {
        if (hive.key == key) return hive.longName;
    }
    return nullptr;
}

std::optional<std::wstring> GetRegPath(const wchar_t* path) {
    const wchar_t* backslash = wcschr(path, L'\\');
    if (backslash == nullptr) return std::nullopt;
    return backslash + 1;
}
