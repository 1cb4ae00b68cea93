#include "util/registry_values.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/environment.h"
#include "util/handles.h"
#include "util/registry_read.h"
#include "util/strings.h"

namespace {

const wchar_t kShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Walks the values of root\subKey in enumeration order and returns the data of the first one whose
// name matches and whose type `accept` takes and whose data can be read.
template <typename Accept>
bool FindValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName, Accept accept, std::vector<BYTE>& data) {
    RegKey key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    std::wstring name;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        LONG status = EnumValueAt(key.get(), index, name, type);
        if (status == ERROR_NO_MORE_ITEMS) return false;
        if (status != ERROR_SUCCESS || !accept(type) || _tcscmpi(name.c_str(), valueName) != 0) continue;
        DWORD readType = 0;
        if (QueryValueData(key.get(), name.c_str(), readType, data) == ERROR_SUCCESS && accept(readType)) return true;
    }
}

}  // namespace

wchar_t* GetRegSZValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName) {
    std::vector<BYTE> data;
    auto isString = [](DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; };
    if (!FindValue(root, subKey, valueName, isString, data)) return nullptr;
    return NewText(RegDataAsText(data));
}

wchar_t* GetRegDWValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName) {
    std::vector<BYTE> data;
    auto isDword = [](DWORD type) { return type == REG_DWORD; };
    if (!FindValue(root, subKey, valueName, isDword, data)) return nullptr;
    uint32_t number = 0;
    memcpy(&number, data.data(), data.size() < sizeof number ? data.size() : sizeof number);
    wchar_t text[16] = {};
    swprintf(text, 16, L"%d", static_cast<int32_t>(number));
    return NewText(text);
}

wchar_t* GetDesktopFolder() {
    wchar_t* stored = GetRegSZValue(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
    if (stored == nullptr) return nullptr;
    OwnedText expanded = ExpandEnvironment(stored);
    free(stored);
    return expanded.release();
}
