#include "directives/system/service_format.h"

#include <cwchar>

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

const wchar_t kDelayed[] = L"Delayed Start";
const wchar_t kTriggered[] = L"Trigger Start";
const wchar_t kServiceDllLabel[] = L"\r\nServiceDll: ";
const wchar_t kInstanceLabel[] = L"\r\nUser Service Instance: ";
const wchar_t kNoInstanceList[] = L"(Unable to list services)";
const wchar_t kSvchost[] = L"svchost";
const wchar_t kExe[] = L".exe";
const size_t kMaxLuidDigits = 16;

// The program part of an image path, as the service manager's process start takes it.
std::wstring ProgramPart(const wchar_t* imagePath) {
    std::wstring path = imagePath;
    size_t start = path.find_first_not_of(L' ');
    if (start == std::wstring::npos) return {};
    if (path[start] == L'"') {
        size_t end = path.find(L'"', start + 1);
        return path.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1);
    }
    path.erase(0, start);
    // Unquoted, each text before a blank is tried in turn as the program.
    for (size_t blank = path.find(L' '); blank != std::wstring::npos; blank = path.find(L' ', blank + 1)) {
        std::wstring candidate = path.substr(0, blank);
        if (EndsWithIgnoringCase(candidate, kExe)) return candidate;
    }
    if (EndsWithIgnoringCase(path, kExe)) return path;
    return path.substr(0, path.find(L' '));
}

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

std::wstring StartTypeText(DWORD startType, bool delayed, bool triggered) {
    std::wstring text = StartTypeWords(startType);
    delayed = delayed && startType == SERVICE_AUTO_START;  // the service manager ignores it otherwise
    if (!delayed && !triggered) return text;
    text += L" (";
    if (delayed) text += kDelayed;
    if (delayed && triggered) text += L", ";
    if (triggered) text += kTriggered;
    text += L")";
    return text;
}

bool NamesSvchost(const wchar_t* imagePath) {
    if (imagePath == nullptr) return false;
    std::wstring program = ProgramPart(imagePath);
    size_t slash = program.find_last_of(L"\\/");
    std::wstring fileName = slash == std::wstring::npos ? program : program.substr(slash + 1);
    if (EndsWithIgnoringCase(fileName, kExe)) fileName.resize(fileName.size() - wcslen(kExe));
    return _tcscmpi(fileName.c_str(), kSvchost) == 0;
}

bool IsUserServiceTemplate(DWORD serviceType) {
    return (serviceType & kUserServiceType) != 0 && (serviceType & kUserServiceInstanceType) == 0;
}

bool IsUserServiceInstanceName(const wchar_t* name, const wchar_t* templateName) {
    const size_t length = wcslen(name);
    const size_t stem = wcslen(templateName);
    if (stem == 0 || length < stem + 2 || length > stem + 1 + kMaxLuidDigits || name[stem] != L'_') return false;
    if (_tcscmpi(std::wstring(name, stem).c_str(), templateName) != 0) return false;
    for (size_t i = stem + 1; i < length; ++i)
        if (wcschr(L"0123456789abcdefABCDEF", name[i]) == nullptr) return false;
    return true;
}

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
    std::wstring text = kLineEnd;
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
    text += config != nullptr ? StartTypeText(config->dwStartType, record.delayedStart, record.triggerStart)
                              : kUnableToDetermine;
    text += L"\r\nError Control: ";
    text += config != nullptr ? ErrorControlWords(config->dwErrorControl) : kUnableToDetermine;
    text += L"\r\nBinary: ";
    if (config != nullptr && config->lpBinaryPathName != nullptr) text += config->lpBinaryPathName;
    if (record.serviceDll != nullptr) {
        text += kServiceDllLabel;
        text += record.serviceDll;
    }

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
    if (config != nullptr && IsUserServiceTemplate(config->dwServiceType)) {
        if (!record.instancesListed) {
            text += kInstanceLabel;
            text += kNoInstanceList;
        }
        for (const ServiceInstance& instance : record.instances) {
            text += kInstanceLabel;
            text += instance.name;
            text += L" (";
            text += StateWords(instance.state);
            text += L")";
        }
    }
    text += kLineEnd;
    return text;
}
