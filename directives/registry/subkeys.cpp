#include <string>

#include "directives/registry/registry.h"
#include "util/registry_read.h"

String* GetSubkeys(HKEY key) {
    String* names = nullptr;
    std::wstring name;
    for (DWORD index = 0;; ++index) {
        LONG status = EnumSubkeyAt(key, index, name);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            // Only a key that vanished mid-walk fails here; a bounded number of such steps ends the walk.
            if (index > 0x100000) break;
            continue;
        }
        if (!name.empty()) names = addString(names, name.c_str());
    }
    return names;
}
