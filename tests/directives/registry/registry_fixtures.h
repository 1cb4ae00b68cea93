// Helpers shared by the registry directive tests.
#pragma once

#include <sddl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

// Gives a key a security descriptor that denies reading to everyone, and takes it back (so that the
// key can be deleted) when the object goes.
class DenyRead {
public:
    DenyRead(HKEY root, const std::wstring& path) : root_(root), path_(path) { Apply(L"D:(D;;KR;;;WD)(A;;KA;;;WD)"); }
    ~DenyRead() { Apply(L"D:(A;;KA;;;WD)"); }
    DenyRead(const DenyRead&) = delete;
    DenyRead& operator=(const DenyRead&) = delete;

private:
    void Apply(const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
            ADD_FAILURE() << "bad security descriptor";
            return;
        }
        HKEY key = nullptr;
        LONG status = RegOpenKeyExW(root_, path_.c_str(), 0, WRITE_DAC, &key);
        if (status == ERROR_SUCCESS) {
            status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
            RegCloseKey(key);
        }
        LocalFree(descriptor);
        if (status != ERROR_SUCCESS) ADD_FAILURE() << "cannot set the security of " << Narrow(path_) << ": " << status;
    }

    HKEY root_;
    std::wstring path_;
};

// The sub-key names of a key in the registry's enumeration order.
inline std::vector<std::wstring> EnumeratedSubkeys(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    wchar_t buffer[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(buffer, length);
    }
    RegCloseKey(key);
    return names;
}
