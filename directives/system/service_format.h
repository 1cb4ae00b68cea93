// The text of a service section, built from a configuration record alone, so that any configuration
// (including ones the platform rarely produces) can be rendered without the service manager.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Which SafeBoot marks a service earns.
struct SafeBootMarks {
    bool minimal = false;
    bool minimalGroup = false;
    bool network = false;
    bool networkGroup = false;
};

// Per-user service types (winnt.h of Windows 10 1709 and later).
constexpr DWORD kUserServiceType = 0x40;          // SERVICE_USER_SERVICE
constexpr DWORD kUserServiceInstanceType = 0x80;  // SERVICE_USERSERVICE_INSTANCE

// One instance of a per-user service: its name and current state.
struct ServiceInstance {
    std::wstring name;
    DWORD state = 0;
};

// Everything a section shows about one service that opened. Pointers are borrowed for the call.
struct ServiceRecord {
    const wchar_t* displayName = nullptr;           // null: could not be fetched (empty line)
    const wchar_t* description = nullptr;           // null: none, or could not be fetched
    bool hasStatus = false;                         // false: the status query failed
    DWORD state = 0;                                // current state, when hasStatus
    const QUERY_SERVICE_CONFIGW* config = nullptr;  // null: could not be fetched
    const wchar_t* group = nullptr;                 // null: no load-order group
    SafeBootMarks marks;
    const ENUM_SERVICE_STATUSW* dependants = nullptr;  // `dependantCount` entries, in the order returned
    DWORD dependantCount = 0;
    bool delayedStart = false;            // the service manager says an automatic start is delayed
    bool triggerStart = false;            // the service has start or stop triggers
    const wchar_t* serviceDll = nullptr;  // the ServiceDll line's text; null: no such line
    // For a per-user template: its instances in the order enumerated, unless the services could not be
    // listed (`instancesListed` false).
    bool instancesListed = false;
    std::vector<ServiceInstance> instances;
};

// Words of a current-state value, a start type and an error-control setting.
const wchar_t* StateWords(DWORD state);
const wchar_t* StartTypeWords(DWORD startType);
const wchar_t* ErrorControlWords(DWORD errorControl);

// The start-type words with the qualifiers the Services console adds: "(Delayed Start)" for a delayed
// automatic start, "(Trigger Start)" for a service with triggers, both in one pair of parentheses.
std::wstring StartTypeText(DWORD startType, bool delayed, bool triggered);

// Whether a service's image path runs svchost.exe, the host whose services are DLLs: the program part
// (the quoted text, or for an unquoted path the text up to the first blank after which the name ends
// in ".exe", else up to the first blank) has the file name svchost.exe or svchost, in any case.
bool NamesSvchost(const wchar_t* imagePath);

// Whether a service of this type is a per-user template, whose instances run under other names.
bool IsUserServiceTemplate(DWORD serviceType);
// Whether `name` is that of an instance of the template `templateName`: the template's name, "_" and
// the hexadecimal logon session identifier (one to sixteen digits), ignoring case.
bool IsUserServiceInstanceName(const wchar_t* name, const wchar_t* templateName);

// The dependency lines of a NUL-separated list that ends with an empty entry (null: no list).
std::wstring FormatDependencies(const wchar_t* list);
// The dependant lines, one per entry.
std::wstring FormatDependants(const ENUM_SERVICE_STATUSW* dependants, DWORD count);
// The section from the display-name line to its end, for a service that opened.
std::wstring FormatServiceDetails(const ServiceRecord& record);
