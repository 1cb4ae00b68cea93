#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "util/registry_read.h"

namespace {

bool HasData(DWORD type) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
        case REG_DWORD:
        case REG_BINARY:
        case REG_QWORD:
        case REG_NONE:
            return true;
        default:
            return false;  // shown by its type number alone
    }
}

}  // namespace

DString* GetValues(HKEY key) {
    DString* values = nullptr;
    std::wstring name;
    std::vector<BYTE> data;
    unsigned failures = 0;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        LONG status = EnumValueAt(key, index, name, type);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            // A key deleted mid-walk fails every index: a run of failures ends the walk.
            if (++failures > 64) break;
            continue;
        }
        failures = 0;
        data.clear();
        if (HasData(type) && QueryValueData(key, name.c_str(), type, data) != ERROR_SUCCESS) continue;
        values =
            addStrings(values, ValueLabel(name.c_str()).c_str(), ValueText(type, data.data(), data.size()).c_str());
    }
    return values;
}
