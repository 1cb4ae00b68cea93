// What the registry knows about a service beyond the service manager: its load-order group and its
// membership in the SafeBoot sets.
#include <cwchar>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "directives/system/system.h"
#include "util/environment.h"
#include "util/handles.h"
#include "util/registry.h"

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const wchar_t kSafeBootKey[] = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
const wchar_t kParametersKey[] = L"\\Parameters";
const wchar_t kServiceDllValue[] = L"ServiceDll";
const wchar_t kUnreadableDll[] = L"(Unable to read value)";
const wchar_t kNoServiceKey[] = L"(Unable to open service key)";
const wchar_t kDriverSuffix[] = L".sys";
const size_t kDriverSuffixLength = 4;

// The default value of each sub-key of a SafeBoot set, handed to `take(name, text)` in enumeration
// order. Sub-keys that cannot be opened or have no readable default value are passed over.
template <typename Take>
void WalkSafeBootSet(const wchar_t* setName, Take take) {
    RegKey safeBoot = OpenKey(HKEY_LOCAL_MACHINE, kSafeBootKey);
    if (!safeBoot) return;
    RegKey set = OpenKey(safeBoot.get(), setName);
    if (!set) return;
    for (const std::wstring& name : GetSubkeyNames(set.get())) {
        RegKey entry = OpenSubkey(set.get(), name);
        if (!entry) continue;
        DWORD type = 0;
        std::vector<BYTE> data;
        if (ReadValue(entry.get(), L"", type, data) != ERROR_SUCCESS) continue;
        take(VisibleName(name).c_str(), StringDataText(data));
    }
}

enum class Lookup { Found, NoKey, Absent, Unreadable };

// The ServiceDll value of HKLM\<path> as its line shows it.
Lookup ReadServiceDll(const std::wstring& path, std::wstring& text) {
    LONG status = ERROR_SUCCESS;
    RegKey key = OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), &status);
    if (!key) return status == ERROR_FILE_NOT_FOUND ? Lookup::NoKey : Lookup::Unreadable;
    DWORD type = 0;
    std::vector<BYTE> data;
    status = ReadValue(key.get(), kServiceDllValue, type, data);
    if (status == ERROR_FILE_NOT_FOUND) return Lookup::Absent;
    if (status != ERROR_SUCCESS) return Lookup::Unreadable;
    // Each NUL-separated piece is expanded apart, so that nothing after a NUL is lost.
    std::wstring whole = StringDataWhole(data);
    std::wstring expanded;
    for (size_t start = 0;;) {
        size_t nul = whole.find(L'\0', start);
        expanded += ExpandEnvironment(whole.substr(start, nul - start).c_str());
        if (nul == std::wstring::npos) break;
        expanded += L'\0';
        start = nul + 1;
    }
    text = VisibleName(expanded);
    return Lookup::Found;
}

}  // namespace

std::optional<std::wstring> GetServiceDll(const wchar_t* serviceName) {
    const std::wstring path = std::wstring(kServicesKey) + serviceName;
    std::wstring text;
    Lookup found = ReadServiceDll(path + kParametersKey, text);
    if (found == Lookup::NoKey || found == Lookup::Absent) {
        found = ReadServiceDll(path, text);
        if (found == Lookup::NoKey) return kNoServiceKey;  // deleted since the service manager answered
    }
    if (found == Lookup::Found) return text;
    if (found == Lookup::Unreadable) return kUnreadableDll;
    return std::nullopt;
}

std::optional<std::wstring> GetGroup(const wchar_t* serviceName) {
    std::wstring path = std::wstring(kServicesKey) + serviceName;
    RegKey key = OpenKey(HKEY_LOCAL_MACHINE, path.c_str());
    if (!key) return std::nullopt;
    KeyReader reader;
    std::optional<std::wstring> group;
    ForEachValue(key.get(), FitBuffers(key.get(), reader).values, reader, [&] {
        if (!ReaderNameIs(reader, L"Group")) return true;
        // Whatever the value's type, its data is taken as text.
        group = StringDataText(reader.data.data(), reader.dataSize);
        return false;
    });
    return group;
}

std::vector<std::wstring> GetSafeBootServices(const wchar_t* setName) {
    std::vector<std::wstring> services;
    WalkSafeBootSet(setName, [&](const wchar_t* name, const std::wstring& kind) {
        if (_tcscmpi(kind.c_str(), L"Driver") != 0 && _tcscmpi(kind.c_str(), L"Service") != 0 &&
            _tcscmpi(kind.c_str(), L"FSFilter System Recovery") != 0)
            return;
        std::wstring service = name;
        // Drivers are often listed by their file name; without ".sys" it is the service's name.
        if (EndsWithIgnoringCase(service, kDriverSuffix)) service.resize(service.size() - kDriverSuffixLength);
        _tcstoupr(service.data());
        services.push_back(std::move(service));
    });
    return services;
}

std::vector<std::wstring> GetSafeBootGroups(const wchar_t* setName) {
    std::vector<std::wstring> groups;
    WalkSafeBootSet(setName, [&](const wchar_t* name, const std::wstring& kind) {
        std::wstring upper = kind;
        _tcstoupr(upper.data());
        if (upper.find(L"GROUP") != std::wstring::npos) groups.emplace_back(name);
    });
    return groups;
}
