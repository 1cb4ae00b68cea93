// SERVICE on services these tests create with the service manager, with SafeBoot entries they create
// under HKLM, and on a service Wine itself installs. Everything created is removed again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "directives/system/service_format.h"
#include "directives/system/system.h"
#include "tests/support/native_keys.h"
#include "tests/support/test_support.h"
#include "util/handles.h"

namespace {

const wchar_t kSafeBootPath[] = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
const wchar_t kServicesPath[] = L"SYSTEM\\CurrentControlSet\\Services\\";

struct ServiceShape {
    const wchar_t* name;
    const wchar_t* displayName;
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    const wchar_t* binary = L"C:\\quillfen\\svc.exe";
    const wchar_t* group = nullptr;         // load-order group
    const wchar_t* dependencies = nullptr;  // NUL-separated, ending with an empty entry
};

// A service created for one test and deleted when the object goes.
class TestService {
public:
    explicit TestService(const ServiceShape& shape) : name_(shape.name) {
        manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        Delete();  // left over from an interrupted run
        service_.reset(CreateServiceW(manager_.get(), shape.name, shape.displayName, SERVICE_ALL_ACCESS, shape.type,
                                      shape.startType, shape.errorControl, shape.binary, shape.group, nullptr,
                                      shape.dependencies, nullptr, nullptr));
        EXPECT_TRUE(service_) << "cannot create " << Narrow(name_) << ": " << GetLastError();
    }
    ~TestService() {
        if (service_) DeleteService(service_.get());
    }
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    void SetDescription(const wchar_t* text) {
        SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(text)};
        EXPECT_TRUE(ChangeServiceConfig2W(service_.get(), SERVICE_CONFIG_DESCRIPTION, &description));
    }

private:
    void Delete() {
        ServiceHandle old(OpenServiceW(manager_.get(), name_.c_str(), DELETE));
        if (old) DeleteService(old.get());
    }

    std::wstring name_;
    ServiceHandle manager_;
    ServiceHandle service_;
};

// Entries of the SafeBoot sets, made in a SafeBoot key that may hold the machine's own.
struct SafeBootEntry {
    const wchar_t* set;
    const wchar_t* name;
    const wchar_t* kind;  // the entry's default value; null leaves it without one
};
void AddEntries(ScopedKey& safeBoot, std::span<const SafeBootEntry> entries) {
    for (const SafeBootEntry& entry : entries) {
        const std::wstring entryPath = std::wstring(entry.set) + L"\\" + entry.name;
        if (entry.kind != nullptr) {
            safeBoot.SetString(L"", entry.kind, entryPath);
        } else {
            safeBoot.CreateSubKey(entryPath);
        }
    }
}

std::wstring Look(const std::wstring& line) { return RunHandler(SvcLook, line); }

// The expected section of a stopped service of ours, without dependencies or dependants.
struct Section {
    const wchar_t* line;
    const wchar_t* displayName;
    const wchar_t* description;  // the description line as it reads, quotes included
    const wchar_t* startType;
    const wchar_t* errorControl;
    const wchar_t* binary;
    const wchar_t* group;
    const wchar_t* marks;

    std::wstring Text() const {
        return std::wstring(L"\r\n") + line + L"\r\n" + displayName + L"\r\n" + description +
               L"\r\nCurrent Status: Stopped\r\nStartup Type: " + startType + L"\r\nError Control: " + errorControl +
               L"\r\nBinary: " + binary + L"\r\nGroup: " + group + L"\r\nSafeBoot:" + marks +
               L"\r\nDependencies:\r\n(none)\r\nDependant Services:\r\n(none)\r\n";
    }
};

// Checks a section against `expected` in all but what stands between `from` and `to`: a part that
// Wine 8's service manager answers otherwise than Windows (the formatting tests cover it on crafted
// records). That part is printed where it differs.
void ExpectSectionBut(const std::wstring& text, const std::wstring& expected, const std::wstring& from,
                      const std::wstring& to) {
    std::wstring parts[2];
    auto cut = [&](const std::wstring& section, std::wstring& part) {
        const size_t start = section.find(from);
        const size_t end = start == std::wstring::npos ? start : section.find(to, start + from.size());
        if (end == std::wstring::npos) return section;
        part = section.substr(start + from.size(), end - start - from.size());
        return section.substr(0, start + from.size()) + section.substr(end);
    };
    EXPECT_EQ(cut(text, parts[0]), cut(expected, parts[1]));
    if (parts[0] != parts[1])
        std::printf("the platform gives %s where Windows gives %s\n", Narrow(parts[0]).c_str(),
                    Narrow(parts[1]).c_str());
}

void ExpectSections(std::initializer_list<Section> sections) {
    for (const Section& section : sections) EXPECT_EQ(Look(section.line), section.Text()) << Narrow(section.line);
}

// Our entries of a set list (those whose names begin with "QF"), sorted.
std::vector<std::wstring> SortedNames(const std::vector<std::wstring>& list) {
    std::vector<std::wstring> names;
    for (const std::wstring& name : list)
        if (_wcsnicmp(name.c_str(), L"QF", 2) == 0) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SvcLook, NamesThatOpenNoService) {
    TestService service({L"QfSvcPlain", L"Quillfen Plain"});
    EXPECT_EQ(Look(L"QfSvcPlain "), L"\r\nQfSvcPlain  - Unable to open Service Handle.\r\n");
    EXPECT_EQ(Look(L"QfNoSuchService"), L"\r\nQfNoSuchService - Unable to open Service Handle.\r\n");
    EXPECT_EQ(Look(L""), L"\r\n - Unable to open Service Handle.\r\n");
}

// Descriptions present, absent and set empty, and every start type and error control.
TEST(SvcLook, DescriptionsStartTypesAndErrorControls) {
    ServiceShape boot{L"QfDrvBoot",       L"Quillfen Boot Driver", SERVICE_KERNEL_DRIVER,
                      SERVICE_BOOT_START, SERVICE_ERROR_IGNORE,    L"System32\\drivers\\qfboot.sys"};
    ServiceShape system{L"QfDrvSystem",       L"Quillfen System Driver", SERVICE_KERNEL_DRIVER,
                        SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL,      L"System32\\drivers\\qfsys.sys"};
    ServiceShape automatic{
        L"QfSvcAuto",       L"Quillfen Automatic", SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_SEVERE,  L"\"C:\\Program Files\\Quillfen\\auto.exe\" -run"};
    ServiceShape demand{L"QfSvcDemand",       L"Quillfen Demand",     SERVICE_WIN32_OWN_PROCESS,
                        SERVICE_DEMAND_START, SERVICE_ERROR_CRITICAL, L"C:\\quillfen\\demand.exe"};
    ServiceShape disabled{L"QfSvcDisabled", L"Quillfen Disabled", SERVICE_WIN32_OWN_PROCESS,
                          SERVICE_DISABLED, SERVICE_ERROR_NORMAL, L"C:\\quillfen\\disabled.exe"};
    TestService bootService(boot), systemService(system), autoService(automatic), demandService(demand),
        disabledService(disabled);
    bootService.SetDescription(L"Loaded by the boot loader.");
    autoService.SetDescription(L"Starts with \"the\" machine.");
    disabledService.SetDescription(L"");

    // The key name is matched by the service manager without regard to case; the line is echoed as written.
    ExpectSections({
        {L"QfDrvBoot", L"Quillfen Boot Driver", L"\"Loaded by the boot loader.\"", L"Boot", L"Ignore",
         L"System32\\drivers\\qfboot.sys", L"(none)", L""},
        {L"QfDrvSystem", L"Quillfen System Driver", L"(No Description)", L"System", L"Normal",
         L"System32\\drivers\\qfsys.sys", L"(none)", L""},
        {L"qfsvcauto", L"Quillfen Automatic", L"\"Starts with \"the\" machine.\"", L"Automatic", L"Severe",
         L"\"C:\\Program Files\\Quillfen\\auto.exe\" -run", L"(none)", L""},
        {L"QfSvcDemand", L"Quillfen Demand", L"(No Description)", L"Demand", L"Critical", L"C:\\quillfen\\demand.exe",
         L"(none)", L""},
    });
    // An empty description is a present one and reads ""; Wine 8 reads it back as none at all.
    Section empty{L"QfSvcDisabled", L"Quillfen Disabled",          L"\"\"",   L"Disabled",
                  L"Normal",        L"C:\\quillfen\\disabled.exe", L"(none)", L""};
    ExpectSectionBut(Look(L"QfSvcDisabled"), empty.Text(), L"Quillfen Disabled\r\n", L"\r\nCurrent Status: ");
}

// Membership by name, by driver file name, by group and as a file-system filter, in both sets, and
// the set lists the marks come from.
TEST(SvcLook, SafeBootMarksAndSets) {
    TestService both({L"QfSvcBoth", L"Quillfen Both", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                      SERVICE_ERROR_NORMAL, L"C:\\quillfen\\both.exe", L"QfGroupBoth"});
    TestService driver({L"QfDrvFile", L"Quillfen File Driver", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                        SERVICE_ERROR_NORMAL, L"System32\\drivers\\qfdrvfile.sys", L"QfGroupOther"});
    TestService filter({L"QfFilter", L"Quillfen Filter", SERVICE_FILE_SYSTEM_DRIVER, SERVICE_DEMAND_START,
                        SERVICE_ERROR_NORMAL, L"System32\\drivers\\qffilter.sys"});
    TestService none({L"QfSvcNone", L"Quillfen None", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                      SERVICE_ERROR_NORMAL, L"C:\\quillfen\\none.exe"});
    ScopedKey safeBoot(HKEY_LOCAL_MACHINE, kSafeBootPath, KeyBefore::kShare);
    const SafeBootEntry entries[] = {
        {L"Minimal", L"qfsvcboth", L"Service"},
        {L"Minimal", L"QfGroupBoth", L"Driver Group"},
        {L"Network", L"QFSVCBOTH", L"Service"},
        {L"Network", L"qfgroupboth", L"group"},
        {L"Minimal", L"QfDrvFile.SYS", L"Driver"},
        {L"Network", L"QfFilter", L"FSFilter System Recovery"},
        // A group named like a service marks no service without that group; other kinds mark nothing.
        {L"Minimal", L"QfSvcNone", L"Group"},
        {L"Network", L"QfSvcNone", L"Something Else"},
        {L"Network", L"QfGroupOther", nullptr},
        // Entries that show how each kind is taken into the lists.
        {L"Minimal", L"QfAlpha", L"service"},
        {L"Minimal", L"Qf.sys", L"Driver"},  // ".sys" cut: "QF"
        {L"Minimal", L"Qfs", L"DRIVER"},     // too short to lose anything
        {L"Minimal", L"QfNet.sys.SyS", L"Driver"},
        {L"Minimal", L"QfFs", L"fsfilter system recovery"},
        {L"Minimal", L"QfGroupA", L"Driver Group"},
        {L"Minimal", L"QfGroupB", L"GROUPS"},
        {L"Minimal", L"QfOther", L"Services"},
        {L"Minimal", L"QfNoKind", nullptr},
        {L"Network", L"QfOnlyNetwork", L"Service"},
    };
    AddEntries(safeBoot, entries);

    ExpectSections({
        {L"QfSvcBoth", L"Quillfen Both", L"(No Description)", L"Demand", L"Normal", L"C:\\quillfen\\both.exe",
         L"QfGroupBoth", L" Minimal Minimal(Group) Network Network(Group)"},
        {L"QfDrvFile", L"Quillfen File Driver", L"(No Description)", L"Demand", L"Normal",
         L"System32\\drivers\\qfdrvfile.sys", L"QfGroupOther", L" Minimal"},
        {L"QfFilter", L"Quillfen Filter", L"(No Description)", L"Demand", L"Normal", L"System32\\drivers\\qffilter.sys",
         L"(none)", L" Network"},
        {L"QfSvcNone", L"Quillfen None", L"(No Description)", L"Demand", L"Normal", L"C:\\quillfen\\none.exe",
         L"(none)", L""},
    });

    // The registry decides the order of the entries: compare as sets.
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(SortedNames(GetSafeBootServices(L"Minimal")),
              (Names{L"QF", L"QFALPHA", L"QFDRVFILE", L"QFFS", L"QFNET.SYS", L"QFS", L"QFSVCBOTH"}));
    EXPECT_EQ(SortedNames(GetSafeBootGroups(L"Minimal")),
              (Names{L"QfGroupA", L"QfGroupB", L"QfGroupBoth", L"QfSvcNone"}));
    EXPECT_EQ(SortedNames(GetSafeBootServices(L"Network")), (Names{L"QFFILTER", L"QFONLYNETWORK", L"QFSVCBOTH"}));
    EXPECT_EQ(SortedNames(GetSafeBootGroups(L"Network")), (Names{L"qfgroupboth"}));
    EXPECT_TRUE(GetSafeBootServices(L"NoSuchSet").empty());
}

TEST(GetGroup, TheGroupValueWhateverItsCaseAndTypeButOnlyByItsWholeName) {
    TestService service({L"QfSvcGroup", L"Quillfen Group"});
    ScopedKey serviceKey(HKEY_LOCAL_MACHINE, std::wstring(kServicesPath) + L"QfSvcGroup", KeyBefore::kShare);
    HKEY key = serviceKey.key();
    EXPECT_FALSE(GetGroup(L"QfSvcGroup"));
    NativeKeys native(serviceKey);
    native.SetString(key, std::wstring(L"Group\0x", 7), L"Spoofed");  // a name that only begins with it
    EXPECT_FALSE(GetGroup(L"QfSvcGroup"));

    const wchar_t text[] = L"Base";
    RegSetValueExW(key, L"gROUP", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    EXPECT_EQ(GetGroup(L"QfSvcGroup"), L"Base");
    // Any type is read as text, up to its first NUL or its end; an odd last byte is a character
    // (the data is read as if into a zero-filled buffer two bytes larger).
    const BYTE binary[] = {'N', 0, 'e', 0, 't'};
    RegSetValueExW(key, L"gROUP", 0, REG_BINARY, binary, sizeof binary);
    EXPECT_EQ(GetGroup(L"QfSvcGroup"), L"Net");
    RegSetValueExW(key, L"gROUP", 0, REG_SZ, nullptr, 0);
    EXPECT_EQ(GetGroup(L"QfSvcGroup"), L"");
    EXPECT_FALSE(GetGroup(L"QfNoSuchService"));
}

// Dependencies on a service and on a group. Wine 8 answers an empty list for any service.
TEST(SvcLook, DependenciesOnAServiceAndAGroup) {
    TestService base({L"QfSvcBase", L"Quillfen Base"});
    ServiceShape shape{L"QfSvcDeps", L"Quillfen Deps"};
    shape.dependencies = L"QfSvcBase\0+QfGroupBase\0";
    TestService deps(shape);
    std::wstring head =
        L"\r\nQfSvcDeps\r\nQuillfen Deps\r\n(No Description)\r\nCurrent Status: Stopped\r\n"
        L"Startup Type: Demand\r\nError Control: Normal\r\nBinary: C:\\quillfen\\svc.exe\r\n"
        L"Group: (none)\r\nSafeBoot:\r\nDependencies:";
    std::wstring tail = L"\r\nDependant Services:\r\n(none)\r\n";
    ExpectSectionBut(Look(L"QfSvcDeps"), head + L"\r\n->QfSvcBase\r\n->Group: QfGroupBase" + tail, L"Dependencies:",
                     L"\r\nDependant Services:");
}

// Services run by svchost, with their DLLs where svchost looks for them; the other sections stay as
// they were.
TEST(SvcLook, ServiceDllOfServicesThatSvchostRuns) {
    const wchar_t* const binary = L"%SystemRoot%\\System32\\svchost.exe -k QfGroup -p";
    ServiceShape shape{L"QfSvcHost", L"Quillfen Hosted", SERVICE_WIN32_SHARE_PROCESS};
    shape.binary = binary;
    TestService hosted(shape);
    ScopedKey key(HKEY_LOCAL_MACHINE, std::wstring(kServicesPath) + L"QfSvcHost", KeyBefore::kShare);
    wchar_t root[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH), 0u);
    // The line follows "Binary:", so the expected section is one whose binary is followed by it.
    auto withDll = [&](const std::wstring& dll) {
        const std::wstring shown = binary + (dll == L"-" ? L"" : L"\r\nServiceDll: " + dll);
        return Section{L"QfSvcHost", L"Quillfen Hosted", L"(No Description)", L"Demand",
                       L"Normal",    shown.c_str(),      L"(none)",           L""}
            .Text();
    };
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(L"-"));  // none anywhere: no line
    key.SetString(L"ServiceDll", L"%SystemRoot%\\System32\\qfkey.dll", {}, REG_EXPAND_SZ);
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(std::wstring(root) + L"\\System32\\qfkey.dll"));
    key.CreateSubKey(L"Parameters");  // a Parameters key without the value: the service key's
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(std::wstring(root) + L"\\System32\\qfkey.dll"));
    key.SetString(L"ServiceDll", L"%SystemRoot%\\System32\\qfparam.dll", L"Parameters", REG_EXPAND_SZ);
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(std::wstring(root) + L"\\System32\\qfparam.dll"));

    // Shown whole: NULs as \0 (each piece expanded), line breaks as stored, any length.
    const wchar_t nulData[] = L"%SystemRoot%\\a.dll\0%SystemRoot%\\b.dll\0";
    key.SetValue(L"ServiceDll", REG_EXPAND_SZ, nulData, sizeof nulData, L"Parameters");
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(std::wstring(root) + L"\\a.dll\\0" + root + L"\\b.dll"));
    key.SetString(L"ServiceDll", L"C:\\q.dll\r\nGroup: forged", L"Parameters");
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(L"C:\\q.dll\r\nGroup: forged"));
    const std::wstring longDll = L"C:\\" + std::wstring(32767 - 7, L'd') + L".dll";
    key.SetString(L"ServiceDll", longDll, L"Parameters");
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(longDll));
    key.SetString(L"ServiceDll", L"", L"Parameters");
    EXPECT_EQ(Look(L"QfSvcHost"), withDll(L""));

    // A service deleted once the service manager has answered has no key left to read.
    EXPECT_EQ(GetServiceDll(L"QfNoSuchService"), L"(Unable to open service key)");
}

// Instances are found by name among all services (Wine 8 refuses the per-user types, so services of
// the usual type stand in for them here).
TEST(ListUserServiceInstances, ServicesNamedAfterTheTemplate) {
    TestService first({L"QfTmpl_1a2b", L"Quillfen Instance"}), second({L"QfTmpl_FF", L"Quillfen Instance 2"}),
        other({L"QfTmpl_x1", L"Quillfen Not An Instance"});
    std::vector<ServiceInstance> instances;
    ASSERT_TRUE(ListUserServiceInstances(L"qftmpl", instances));
    std::vector<std::wstring> names;
    for (const ServiceInstance& instance : instances)
        names.push_back(instance.name + L" " + StateWords(instance.state));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"QfTmpl_1a2b Stopped", L"QfTmpl_FF Stopped"}));
}

// A service the platform installs: its texts are the platform's, so the section is checked for the
// shape every section has, and shown where it is not what Wine 8 writes.
TEST(SvcLook, BuiltInRemoteProcedureCallService) {
    const std::wstring text = Look(L"RpcSs");
    const std::wregex shape(
        L"\r\nRpcSs\r\n[^\r\n]+\r\n(\"[^\r\n]*\"|\\(No Description\\))\r\n"
        L"Current Status: (Stopped|Started|Paused|[A-Za-z]+ \\([A-Za-z]+ Pending\\))\r\n"
        L"Startup Type: (Boot|System|Automatic|Demand|Disabled)\r\nError Control: (Ignore|Normal|Severe|Critical)\r\n"
        L"Binary: [^\r\n]+\r\nGroup: [^\r\n]+\r\nSafeBoot:( Minimal)?( Minimal\\(Group\\))?( Network)?( "
        L"Network\\(Group\\))?\r\n"
        L"Dependencies:((\r\n->[^\r\n]+)+|\r\n\\(none\\))\r\nDependant "
        L"Services:((\r\n->[^\r\n]+)+|\r\n\\(none\\))\r\n");
    EXPECT_TRUE(std::regex_match(text, shape)) << Narrow(text);
    // Wine 8's texts, in either state (it starts on demand).
    const std::wstring wine = L"\r\nRpcSs\r\nRemote Procedure Call (RPC)\r\n\"RPC service\"\r\nCurrent Status: ";
    const std::wstring wineRest =
        L"\r\nStartup Type: Demand\r\nError Control: Normal\r\nBinary: C:\\windows\\system32\\rpcss.exe\r\n"
        L"Group: (none)\r\nSafeBoot:\r\nDependencies:\r\n(none)\r\nDependant Services:\r\n(none)\r\n";
    if (text != wine + L"Started" + wineRest && text != wine + L"Stopped" + wineRest)
        std::printf("not what Wine 8 writes for RpcSs:%s\n", Narrow(text).c_str());
}

}  // namespace
