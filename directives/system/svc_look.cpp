// SERVICE: what the service manager and the registry say about one service.
#include <string>
#include <vector>

#include "directives/system/service_format.h"
#include "directives/system/system.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/owned.h"
#include "util/sized_fetch.h"

namespace {

const wchar_t kNoManager[] = L" - Unable to open Service Control Manager.\r\n";
const wchar_t kNoService[] = L" - Unable to open Service Handle.\r\n";
const wchar_t kMinimalSet[] = L"Minimal";
const wchar_t kNetworkSet[] = L"Network";
const DWORD kServiceAccess = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;

// The display name, empty when it cannot be fetched. The call counts in characters, without the
// terminator when it asks for room, so the sizes are turned into bytes around it.
std::wstring FetchDisplayName(SC_HANDLE manager, const wchar_t* name) {
    std::vector<BYTE> buffer;
    if (!FetchSized(buffer,
                    [&](BYTE* data, DWORD size, DWORD* needed) {
                        DWORD length = size / sizeof(wchar_t);
                        BOOL fetched = GetServiceDisplayNameW(manager, name, reinterpret_cast<wchar_t*>(data), &length);
                        *needed = (length + 1) * sizeof(wchar_t);
                        return fetched;
                    }) ||
        buffer.empty())
        return {};
    return reinterpret_cast<const wchar_t*>(buffer.data());
}

bool Contains(const String* list, const wchar_t* text) {
    for (; list != nullptr; list = list->next)
        if (_tcscmpi(list->text, text) == 0) return true;
    return false;
}

// Each set is read afresh for its test; the group tests only for a service that has a group.
SafeBootMarks GetSafeBootMarks(const wchar_t* name, const wchar_t* group) {
    SafeBootMarks marks;
    marks.minimal = Contains(StringList(GetSafeBootServices(kMinimalSet)).get(), name);
    if (group != nullptr) marks.minimalGroup = Contains(StringList(GetSafeBootGroups(kMinimalSet)).get(), group);
    marks.network = Contains(StringList(GetSafeBootServices(kNetworkSet)).get(), name);
    if (group != nullptr) marks.networkGroup = Contains(StringList(GetSafeBootGroups(kNetworkSet)).get(), group);
    return marks;
}

}  // namespace

void SvcLook(wchar_t* line, FILE* report, WorkPool&) {
    Log(L"\r\n", report);
    Log(line, report);
    ServiceHandle manager(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT));
    if (!manager) {
        Log(kNoManager, report);
        return;
    }
    ServiceHandle service(OpenServiceW(manager.get(), line, kServiceAccess));
    if (!service) {
        Log(kNoService, report);
        return;
    }
    ServiceRecord record;

    std::wstring displayName = FetchDisplayName(manager.get(), line);
    record.displayName = displayName.c_str();

    std::vector<BYTE> description;
    if (FetchSized(description,
                   [&](BYTE* data, DWORD size, DWORD* needed) {
                       return QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, data, size, needed);
                   }) &&
        description.size() >= sizeof(SERVICE_DESCRIPTIONW))
        record.description = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(description.data())->lpDescription;

    SERVICE_STATUS_PROCESS status{};
    DWORD statusSize = 0;
    record.hasStatus = QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                            sizeof status, &statusSize) != FALSE;
    record.state = status.dwCurrentState;

    std::vector<BYTE> config;
    if (FetchSized(config,
                   [&](BYTE* data, DWORD size, DWORD* needed) {
                       return QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(data), size,
                                                  needed);
                   }) &&
        config.size() >= sizeof(QUERY_SERVICE_CONFIGW))
        record.config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data());

    OwnedText group(GetGroup(line));
    record.group = group.get();
    record.marks = GetSafeBootMarks(line, record.group);

    std::vector<BYTE> dependants;
    DWORD count = 0;
    if (FetchSized(dependants, [&](BYTE* data, DWORD size, DWORD* needed) {
            count = 0;
            return EnumDependentServicesW(service.get(), SERVICE_STATE_ALL,
                                          reinterpret_cast<ENUM_SERVICE_STATUSW*>(data), size, needed, &count);
        })) {
        DWORD fits = static_cast<DWORD>(dependants.size() / sizeof(ENUM_SERVICE_STATUSW));
        record.dependants = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(dependants.data());
        record.dependantCount = count < fits ? count : fits;
    }

    Log(FormatServiceDetails(record).c_str(), report);
}
