// ::safeboot: the safe-mode shell and the drivers, services, groups and device classes of the two
// safe-mode sets.
#include "directives/registry/registry.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/registry_values.h"

namespace {

const wchar_t kHeading[] = L"\r\n========== SafeBoot Info ==========\r\n";
const wchar_t kSafeBootKey[] = L"System\\CurrentControlSet\\Control\\Safeboot";
const wchar_t kMinimalKey[] = L"System\\CurrentControlSet\\Control\\Safeboot\\Minimal";
const wchar_t kNetworkKey[] = L"System\\CurrentControlSet\\Control\\Safeboot\\Network";
const wchar_t kShellValue[] = L"AlternateShell";
const wchar_t kShellLabel[] = L"\r\nAlternate Shell: ";
const wchar_t kMinimalHeading[] = L"\r\n\r\n--- Minimal ---";
const wchar_t kNetworkHeading[] = L"\r\n\r\n--- Network ---";
const wchar_t kMinimalError[] = L"\r\nError opening Minimal key.";
const wchar_t kNetworkError[] = L"\r\nError opening Network key.";
const wchar_t kClassOpen[] = L"\r\n(";
const wchar_t kClassClose[] = L")";

// One line per entry: a device class (its name begins with "{") by its description, the rest by name.
void ShowSet(const wchar_t* path, const wchar_t* error, FILE* report) {
    RegKey set = OpenKey(HKEY_LOCAL_MACHINE, path);
    if (!set) {
        Log(error, report);
        return;
    }
    for (const std::wstring& name : GetSubkeyNames(set.get())) {
        if (name[0] == L'{') {
            Log(kClassOpen, report);
            // Opened by its counted name first: a name may hold NULs.
            RegKey entry = OpenSubkey(set.get(), name);
            if (entry) Log(GetRegSZValue(entry.get(), L"", L"").value_or(L"").c_str(), report);
            Log(kClassClose, report);
        } else {
            Log(kLineEnd, report);
            Log(VisibleName(name).c_str(), report);
        }
    }
}

}  // namespace

void safeboot(FILE* report) {
    Log(kHeading, report);
    Log(kShellLabel, report);
    Log(GetRegSZValue(HKEY_LOCAL_MACHINE, kSafeBootKey, kShellValue).value_or(L"").c_str(), report);
    Log(kMinimalHeading, report);
    ShowSet(kMinimalKey, kMinimalError, report);
    Log(kNetworkHeading, report);
    ShowSet(kNetworkKey, kNetworkError, report);
    Log(kLineEnd, report);
}
