#include "directives/system/service_format.h"

#include "directives/system/system.h"
#include "report/log.h"

namespace {

const wchar_t kUnableToDetermine[] = L"Unable to Determine";
const wchar_t kNoneWord[] = L"(none)";
const wchar_t kNone[] = L"\r\n(none)";
const wchar_t kListEntry[] = L"\r\n->";

const wchar_t* const STATES[] = {
    nullptr,                       // 0 is no state
    L"Stopped",                    // SERVICE_STOPPED
    L"Stopped (Start Pending)",    // SERVICE_START_PENDING
    L"Started (Stop Pending)",     // SERVICE_STOP_PENDING
    L"Started",                    // SERVICE_RUNNING
    L"Paused (Continue Pending)",  // SERVICE_CONTINUE_PENDING
    L"Started (Pause Pending)",    // SERVICE_PAUSE_PENDING
    L"Paused",                     // SERVICE_PAUSED
};
const DWORD NUM_STATES = sizeof STATES / sizeof STATES[0];

const wchar_t* const START_TYPES[] = {L"Boot", L"System", L"Automatic", L"Demand", L"Disabled"};
const DWORD NUM_START_TYPES = sizeof START_TYPES / sizeof START_TYPES[0];

const wchar_t* const ERROR_CONTROLS[] = {L"Ignore", L"Normal", L"Severe", L"Critical"};
const DWORD NUM_ERROR_CONTROLS = sizeof ERROR_CONTROLS / sizeof ERROR_CONTROLS[0];

const wchar_t* Lookup(const wchar_t* const* table, DWORD count, DWORD value) {
    if (value >= count || table[value] == nullptr) return kUnableToDetermine;
    return table[value];
}

}  // namespace

const wchar_t* StateWords(DWORD state) { return Lookup(STATES, NUM_STATES, state); }
const wchar_t* StartTypeWords(DWORD startType) { return Lookup(START_TYPES, NUM_START_TYPES, startType); }
const wchar_t* ErrorControlWords(DWORD errorControl) {
    return Lookup(ERROR_CONTROLS, NUM_ERROR_CONTROLS, errorControl);
}

void PrintState(DWORD state, FILE* report) { Log(StateWords(state), report); }

std::wstring FormatDependencies(const wchar_t* list) {
    if (list == nullptr || *list == L'\0') return kNone;
    std::wstring text;
    for (const wchar_t* entry = list; *entry != L'\0'; ++entry) {  // `entry` ends on each entry's NUL
        text += kListEntry;
        for (; *entry != L'\0'; ++entry) {
            if (*entry == L'+')
                text += L"Group: ";
            else
                text += *entry;
        }
    }
    return text;
}

std::wstring FormatDependants(const ENUM_SERVICE_STATUSW* dependants, DWORD count) {
    if (dependants == nullptr || count == 0) return kNone;
    std::wstring text;
    for (DWORD i = 0; i < count; ++i) {
        const ENUM_SERVICE_STATUSW& dependant = dependants[i];
        text += kListEntry;
        if (dependant.lpDisplayName != nullptr) text += dependant.lpDisplayName;
        text += L" (";
        if (dependant.lpServiceName != nullptr) text += dependant.lpServiceName;
        text += L") (";
        text += StateWords(dependant.ServiceStatus.dwCurrentState);
        text += L")";
    }
    return text;
}

std::wstring FormatServiceDetails(const ServiceRecord& record) {
    std::wstring text = L"\r\n";
    if (record.displayName != nullptr) text += record.displayName;
    if (record.description != nullptr) {
        text += L"\r\n\"";
        text += record.description;
        text += L"\"\r\n";
    } else {
        text += L"\r\n(No Description)\r\n";
    }
    text += L"Current Status: ";
    text += record.hasStatus ? StateWords(record.state) : L"Unable to retrive status information";

    const QUERY_SERVICE_CONFIGW* config = record.config;
    text += L"\r\nStartup Type: ";
    text += config != nullptr ? StartTypeWords(config->dwStartType) : kUnableToDetermine;
    text += L"\r\nError Control: ";
    text += config != nullptr ? ErrorControlWords(config->dwErrorControl) : kUnableToDetermine;
    text += L"\r\nBinary: ";
    if (config != nullptr && config->lpBinaryPathName != nullptr) text += config->lpBinaryPathName;

    text += L"\r\nGroup: ";
    text += record.group != nullptr ? record.group : kNoneWord;

    text += L"\r\nSafeBoot:";
    if (record.marks.minimal) text += L" Minimal";
    if (record.marks.minimalGroup) text += L" Minimal(Group)";
    if (record.marks.network) text += L" Network";
    if (record.marks.networkGroup) text += L" Network(Group)";

    text += L"\r\nDependencies:";
    text += FormatDependencies(config != nullptr ? config->lpDependencies : nullptr);
    text += L"\r\nDependant Services:";
    text += FormatDependants(record.dependants, record.dependantCount);
    text += L"\r\n";
    return text;
}
