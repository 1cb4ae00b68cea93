// The text of a service section, built from a configuration record alone, so that any configuration
// (including ones the platform rarely produces) can be rendered without the service manager.
#pragma once

#include <windows.h>

#include <string>

// Which SafeBoot marks a service earns.
struct SafeBootMarks {
    bool minimal = false;
    bool minimalGroup = false;
    bool network = false;
    bool networkGroup = false;
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
};

// Words of a current-state value, a start type and an error-control setting.
const wchar_t* StateWords(DWORD state);
const wchar_t* StartTypeWords(DWORD startType);
const wchar_t* ErrorControlWords(DWORD errorControl);

// The dependency lines of a NUL-separated list that ends with an empty entry (null: no list).
std::wstring FormatDependencies(const wchar_t* list);
// The dependant lines, one per entry.
std::wstring FormatDependants(const ENUM_SERVICE_STATUSW* dependants, DWORD count);
// The section from the display-name line to its end, for a service that opened.
std::wstring FormatServiceDetails(const ServiceRecord& record);
