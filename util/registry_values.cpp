#include "util/registry_values.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/environment.h"
#include "util/registry.h"
#include "util/strings.h"

namespace {

const wchar_t kShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Walks the values of root\subKey in enumeration order and returns the data of the first one whose
// name matches and whose type `accept` takes.
template <typename Accept>
bool FindValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName, Accept accept, std::vector<BYTE>& data) {
    RegKey key = OpenKey(root, subKey);
    if (!key) return false;
    KeyReader reader;
    bool found = false;
    ForEachValue(key.get(), FitBuffers(key.get(), reader).values, reader, [&] {
        if (!accept(reader.type) || !ReaderNameIs(reader, valueName)) return true;
        data.assign(reader.data.begin(), reader.data.begin() + reader.dataSize);
        found = true;
        return false;
    });
    return found;
}

}  // namespace

std::optional<std::wstring> GetRegSZValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName) {
    std::vector<BYTE> data;
    auto isString = [](DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; };
    if (!FindValue(root, subKey, valueName, isString, data)) return std::nullopt;
    return StringDataText(data);
}

std::wstring GetRegDWValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName) {
    std::vector<BYTE> data;
    auto isDword = [](DWORD type) { return type == REG_DWORD; };
    if (!FindValue(root, subKey, valueName, isDword, data)) return {};
    uint32_t number = 0;
    if (!data.empty()) memcpy(&number, data.data(), data.size() < sizeof number ? data.size() : sizeof number);
    wchar_t text[16] = {};
    swprintf(text, 16, L"%d", static_cast<int32_t>(number));
    return text;
}

std::optional<std::wstring> GetDesktopFolder() {
    std::optional<std::wstring> stored = GetRegSZValue(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
    if (!stored) return std::nullopt;
    return ExpandEnvironment(stored->c_str());
}
