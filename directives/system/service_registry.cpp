// What the registry knows about a service beyond the service manager: its load-order group and its
// membership in the SafeBoot sets.
#include <cwchar>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "directives/system/system.h"
#include "util/handles.h"
#include "util/owned.h"
#include "util/registry_read.h"

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const wchar_t kSafeBootKey[] = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
const wchar_t kDriverSuffix[] = L".sys";
const size_t kDriverSuffixLength = 4;
const int kMaxFailedValues = 64;

// The default value of each sub-key of a SafeBoot set, handed to `take(name, text)` in enumeration
// order. Sub-keys that cannot be opened or have no readable default value are passed over.
template <typename Take>
void WalkSafeBootSet(const wchar_t* setName, Take take) {
    RegKey safeBoot;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSafeBootKey, 0, KEY_READ, safeBoot.put()) != ERROR_SUCCESS) return;
    RegKey set;
    if (RegOpenKeyExW(safeBoot.get(), setName, 0, KEY_READ, set.put()) != ERROR_SUCCESS) return;
    StringList names(GetSubkeys(set.get()));
    for (String* node = names.get(); node != nullptr; node = node->next) {
        RegKey entry;
        if (RegOpenKeyExW(set.get(), node->text, 0, KEY_READ, entry.put()) != ERROR_SUCCESS) continue;
        DWORD type = 0;
        std::vector<BYTE> data;
        if (QueryValueData(entry.get(), L"", type, data) != ERROR_SUCCESS) continue;
        take(node->text, RegDataAsText(data));
    }
}

}  // namespace

wchar_t* GetGroup(const wchar_t* serviceName) {
    std::wstring path = std::wstring(kServicesKey) + serviceName;
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return nullptr;
    std::wstring name;
    int failures = 0;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        LONG status = EnumValueAt(key.get(), index, name, type);
        if (status == ERROR_NO_MORE_ITEMS) return nullptr;
        if (status != ERROR_SUCCESS) {
            // Only a key that changed mid-walk fails here; a run of failures means it is gone.
            if (++failures > kMaxFailedValues) return nullptr;
            continue;
        }
        failures = 0;
        if (_tcscmpi(name.c_str(), L"Group") != 0) continue;
        // Whatever the value's type, its data is taken as text.
        std::vector<BYTE> data;
        if (QueryValueData(key.get(), name.c_str(), type, data) != ERROR_SUCCESS) return nullptr;
        return NewText(RegDataAsText(data));
    }
}

String* GetSafeBootServices(const wchar_t* setName) {
    String* services = nullptr;
    WalkSafeBootSet(setName, [&](const wchar_t* name, const std::wstring& kind) {
        if (_tcscmpi(kind.c_str(), L"Driver") != 0 && _tcscmpi(kind.c_str(), L"Service") != 0 &&
            _tcscmpi(kind.c_str(), L"FSFilter System Recovery") != 0)
            return;
        std::wstring service = name;
        // Drivers are often listed by their file name; without ".sys" it is the service's name.
        size_t length = service.size();
        if (length >= kDriverSuffixLength &&
            _tcscmpi(service.c_str() + length - kDriverSuffixLength, kDriverSuffix) == 0)
            service.resize(length - kDriverSuffixLength);
        _tcstoupr(service.data());
        services = addString(services, service.c_str());
    });
    return services;
}

String* GetSafeBootGroups(const wchar_t* setName) {
    String* groups = nullptr;
    WalkSafeBootSet(setName, [&](const wchar_t* name, const std::wstring& kind) {
        std::wstring upper = kind;
        _tcstoupr(upper.data());
        if (upper.find(L"GROUP") != std::wstring::npos) groups = addString(groups, name);
    });
    return groups;
}
