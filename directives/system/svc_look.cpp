// SERVICE: what the service manager and the registry say about one service.
#include <optional>
#include <string>
#include <vector>

#include "directives/system/service_format.h"
#include "directives/system/system.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/sized_fetch.h"

namespace {

const wchar_t kNoManager[] = L" - Unable to open Service Control Manager.\r\n";
const wchar_t kNoService[] = L" - Unable to open Service Handle.\r\n";
const wchar_t kMinimalSet[] = L"Minimal";
const wchar_t kNetworkSet[] = L"Network";
const DWORD kServiceAccess = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;
// Services of every process kind, per-user templates and instances among them.
const DWORD kEnumTypes = SERVICE_WIN32 | kUserServiceType | kUserServiceInstanceType;
const DWORD kEnumBytes = 64 * 1024;
const DWORD kMaxEnumBytes = 1024 * 1024;
// Each round takes at least one entry; no machine has this many services.
const unsigned kMaxEnumRounds = 65536;

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

// The configuration of `level` into `buffer`; false when the service manager does not know the level
// (Wine answers ERROR_INVALID_LEVEL for the start qualifiers) or it cannot be fetched.
bool FetchConfig2(SC_HANDLE service, DWORD level, std::vector<BYTE>& buffer, size_t leastSize) {
    return FetchSized(buffer,
                      [&](BYTE* data, DWORD size, DWORD* needed) {
                          return QueryServiceConfig2W(service, level, data, size, needed);
                      }) &&
           buffer.size() >= leastSize;
}

bool IsDelayedStart(SC_HANDLE service) {
    std::vector<BYTE> info;
    return FetchConfig2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, info,
                        sizeof(SERVICE_DELAYED_AUTO_START_INFO)) &&
           reinterpret_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(info.data())->fDelayedAutostart != FALSE;
}

// SERVICE_TRIGGER_INFO, which MinGW's headers lack.
struct TriggerInfo {
    DWORD cTriggers;
    void* pTriggers;
    BYTE* pReserved;
};

bool HasTriggers(SC_HANDLE service) {
    std::vector<BYTE> info;
    return FetchConfig2(service, SERVICE_CONFIG_TRIGGER_INFO, info, sizeof(TriggerInfo)) &&
           reinterpret_cast<const TriggerInfo*>(info.data())->cTriggers != 0;
}

bool Contains(const std::vector<std::wstring>& list, const wchar_t* text) {
    for (const std::wstring& item : list)
        if (_tcscmpi(item.c_str(), text) == 0) return true;
    return false;
}

// Each set is read afresh for its test; the group tests only for a service that has a group.
SafeBootMarks GetSafeBootMarks(const wchar_t* name, const wchar_t* group) {
    SafeBootMarks marks;
    marks.minimal = Contains(GetSafeBootServices(kMinimalSet), name);
    if (group != nullptr) marks.minimalGroup = Contains(GetSafeBootGroups(kMinimalSet), group);
    marks.network = Contains(GetSafeBootServices(kNetworkSet), name);
    if (group != nullptr) marks.networkGroup = Contains(GetSafeBootGroups(kNetworkSet), group);
    return marks;
}

}  // namespace

// The list comes in pieces when it exceeds the buffer (the call returns at most 256 KiB at a time).
bool ListUserServiceInstances(const wchar_t* name, std::vector<ServiceInstance>& instances) {
    ServiceHandle manager(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) return false;
    std::vector<BYTE> buffer(kEnumBytes + kFetchSpareBytes);
    std::vector<ServiceInstance> found;
    DWORD resume = 0;
    for (unsigned round = 0; round < kMaxEnumRounds; ++round) {
        const DWORD before = resume;
        DWORD needed = 0;
        DWORD count = 0;
        const DWORD size = static_cast<DWORD>(buffer.size() - kFetchSpareBytes);
        BOOL done = EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, kEnumTypes, SERVICE_STATE_ALL,
                                          buffer.data(), size, &needed, &count, &resume, nullptr);
        if (!done && GetLastError() != ERROR_MORE_DATA) return false;
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        const DWORD fits = size / sizeof(ENUM_SERVICE_STATUS_PROCESSW);
        for (DWORD i = 0; i < count && i < fits; ++i)
            if (entries[i].lpServiceName != nullptr && IsUserServiceInstanceName(entries[i].lpServiceName, name))
                found.push_back({entries[i].lpServiceName, entries[i].ServiceStatusProcess.dwCurrentState});
        if (done) {
            instances.insert(instances.end(), found.begin(), found.end());
            return true;
        }
        // Not one entry fitted: room for the next one. Entries without a step forward would come again.
        if (count == 0) {
            if (needed <= size || needed > kMaxEnumBytes) return false;
            buffer.assign(needed + kFetchSpareBytes, 0);
        } else if (resume == before) {
            return false;
        }
    }
    return false;
}

void SvcLook(wchar_t* line, FILE* report, WorkPool&) {
    Log(kLineEnd, report);
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
    record.delayedStart = IsDelayedStart(service.get());
    record.triggerStart = HasTriggers(service.get());
    std::optional<std::wstring> serviceDll;
    if (record.config != nullptr && NamesSvchost(record.config->lpBinaryPathName)) serviceDll = GetServiceDll(line);
    if (serviceDll) record.serviceDll = serviceDll->c_str();
    if (record.config != nullptr && IsUserServiceTemplate(record.config->dwServiceType))
        record.instancesListed = ListUserServiceInstances(line, record.instances);

    const std::optional<std::wstring> group = GetGroup(line);
    record.group = group ? group->c_str() : nullptr;
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
