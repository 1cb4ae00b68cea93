// ::csinfo: which control set is in use and which numbered sets exist with a Control key.
#include <cwchar>
#include <string>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/registry_values.h"

namespace {

const wchar_t kHeading[] = L"\r\n========== ControlSet Info ==========\r\n";
const wchar_t kSelectKey[] = L"System\\Select";
const wchar_t kSystemKey[] = L"System";
const wchar_t kSetPrefix[] = L"ControlSet";
constexpr size_t kSetPrefixLength = sizeof kSetPrefix / sizeof kSetPrefix[0] - 1;
const wchar_t kControlKey[] = L"Control";
const wchar_t kSystemError[] = L"\r\nError opening System key.";
const wchar_t kArrow[] = L" -> ";
const wchar_t kSetError[] = L"Error opening ControlSetKey key.";
const wchar_t kControlPresent[] = L"Control present";
const wchar_t kNoControl[] = L"No Control";

struct Selection {
    const wchar_t* value;
    const wchar_t* label;
};
const Selection kSelections[] = {
    {L"Current", L"\r\nCurrent: "},
    {L"Default", L"\r\nDefault: "},
    {L"Failed", L"\r\nFailed: "},
    {L"LastKnownGood", L"\r\nLastKnownGood: "},
};

void ShowSet(HKEY system, const std::wstring& name, FILE* report) {
    Log(kLineEnd, report);
    Log(NoZeros(VisibleName(name).c_str() + kSetPrefixLength), report);
    Log(kArrow, report);
    RegKey set = OpenSubkey(system, name);
    if (!set) {
        Log(kSetError, report);
        return;
    }
    bool present = static_cast<bool>(OpenKey(set.get(), kControlKey));
    Log(present ? kControlPresent : kNoControl, report);
}

}  // namespace

const wchar_t* NoZeros(const wchar_t* text) {
    while (*text == L'0') ++text;
    return text;
}

void csinfo(FILE* report) {
    Log(kHeading, report);
    for (const Selection& selection : kSelections) {
        Log(selection.label, report);
        Log(GetRegDWValue(HKEY_LOCAL_MACHINE, kSelectKey, selection.value).c_str(), report);
    }
    Log(kLineEnd, report);

    RegKey system = OpenKey(HKEY_LOCAL_MACHINE, kSystemKey);
    if (!system) {
        Log(kSystemError, report);
    } else {
        for (const std::wstring& name : GetSubkeyNames(system.get())) {
            if (name.compare(0, kSetPrefixLength, kSetPrefix) == 0) ShowSet(system.get(), name, report);
        }
    }
    Log(kLineEnd, report);
}
