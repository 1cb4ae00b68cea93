// Service sections rendered from crafted configurations, including values the platform rarely gives.
#include "directives/system/service_format.h"

#include <gtest/gtest.h>

#include "directives/system/system.h"
#include "tests/support/test_support.h"

namespace {

TEST(StateWords, TheWordsOfEachStateAndOneFallback) {
    const struct {
        DWORD state;
        const wchar_t* words;
    } cases[] = {
        {0, L"Unable to Determine"},
        {SERVICE_STOPPED, L"Stopped"},
        {SERVICE_START_PENDING, L"Stopped (Start Pending)"},
        {SERVICE_STOP_PENDING, L"Started (Stop Pending)"},
        {SERVICE_RUNNING, L"Started"},
        {SERVICE_CONTINUE_PENDING, L"Paused (Continue Pending)"},
        {SERVICE_PAUSE_PENDING, L"Started (Pause Pending)"},
        {SERVICE_PAUSED, L"Paused"},
        {8, L"Unable to Determine"},
        {0xFFFFFFFF, L"Unable to Determine"},
    };
    for (const auto& c : cases) EXPECT_STREQ(StateWords(c.state), c.words) << c.state;
}

TEST(ServiceWords, StartTypesAndErrorControlsFallBackOutsideTheirTables) {
    const wchar_t* starts[] = {L"Boot", L"System", L"Automatic", L"Demand", L"Disabled", L"Unable to Determine"};
    for (DWORD i = 0; i < 6; ++i) EXPECT_STREQ(StartTypeWords(i), starts[i]) << i;
    EXPECT_STREQ(StartTypeWords(0x80000000), L"Unable to Determine");
    const wchar_t* errors[] = {L"Ignore", L"Normal", L"Severe", L"Critical", L"Unable to Determine"};
    for (DWORD i = 0; i < 5; ++i) EXPECT_STREQ(ErrorControlWords(i), errors[i]) << i;
    EXPECT_STREQ(ErrorControlWords(0xFFFFFFFF), L"Unable to Determine");
}

// As the Services console shows start types; the service manager keeps a delayed flag for any start
// type but delays only an automatic one.
TEST(StartTypeText, QualifiersAsTheServicesConsoleShowsThem) {
    const struct {
        DWORD start;
        bool delayed, triggered;
        const wchar_t* text;
    } rows[] = {{2, false, false, L"Automatic"},
                {2, true, false, L"Automatic (Delayed Start)"},
                {2, false, true, L"Automatic (Trigger Start)"},
                {2, true, true, L"Automatic (Delayed Start, Trigger Start)"},
                {3, true, false, L"Demand"},
                {3, true, true, L"Demand (Trigger Start)"},
                {4, false, true, L"Disabled (Trigger Start)"},
                {7, false, true, L"Unable to Determine (Trigger Start)"}};
    for (const auto& row : rows)
        EXPECT_EQ(StartTypeText(row.start, row.delayed, row.triggered), row.text) << Narrow(row.text);
}

// Image paths as the service manager stores them: the program part decides, not the arguments.
TEST(NamesSvchost, TheProgramPartOfTheImagePath) {
    const wchar_t* const svchost[] = {L"%SystemRoot%\\system32\\svchost.exe -k netsvcs -p",
                                      L"C:\\WINDOWS\\System32\\SVCHOST.EXE -k LocalServiceNetworkRestricted",
                                      L"  \"C:\\Windows\\system32\\svchost.exe\" -k UnistackSvcGroup",
                                      L"svchost.exe",
                                      L"C:/Windows/System32/svchost.exe -k x",
                                      L"C:\\Windows\\System32\\svchost -k x",        // started with ".exe" added
                                      L"C:\\Program Files\\Host\\svchost.exe -k x",  // unquoted: the first .exe
                                      L"\"C:\\Windows\\system32\\svchost.exe"};      // quote never closed
    const wchar_t* const others[] = {L"C:\\Windows\\system32\\notsvchost.exe -k x",
                                     L"C:\\Windows\\system32\\svchost.exe.bak",
                                     L"C:\\Tools\\run.exe C:\\Windows\\system32\\svchost.exe",
                                     L"\"C:\\Tools\\run.exe\" svchost.exe",
                                     L"C:\\svchost.exe\\other.exe",
                                     L"System32\\drivers\\svchost.sys",
                                     L"   "};
    for (const wchar_t* path : svchost) EXPECT_TRUE(NamesSvchost(path)) << Narrow(path);
    for (const wchar_t* path : others) EXPECT_FALSE(NamesSvchost(path)) << Narrow(path);
    EXPECT_FALSE(NamesSvchost(nullptr));
}

// Templates are 0x50 and 0x60, their instances 0xd0 and 0xe0, named <template>_<logon session in hex>.
TEST(UserServices, TemplatesAndInstanceNames) {
    EXPECT_TRUE(IsUserServiceTemplate(0x50) && IsUserServiceTemplate(0x60));
    EXPECT_FALSE(IsUserServiceTemplate(0xd0) || IsUserServiceTemplate(0xe0) || IsUserServiceTemplate(0x20));
    const wchar_t* const instances[] = {L"CDPUserSvc_3b2f1", L"cdpusersvc_ABCDEF", L"CDPUserSvc_0123456789abcdef"};
    const wchar_t* const others[] = {L"CDPUserSvc_0123456789abcdef0",
                                     L"CDPUserSvc_",
                                     L"CDPUserSvc",
                                     L"CDPUserSvc_3b2g",
                                     L"CDPUserSvc_3b 2",
                                     L"CDPUserSvcX_3b2f1",
                                     L"CDPUserSv_3b2f1",
                                     L"CDPUserSvc__3b2f",
                                     L"CDPUserSvc_\xFF11"};
    for (const wchar_t* name : instances) EXPECT_TRUE(IsUserServiceInstanceName(name, L"CDPUserSvc")) << Narrow(name);
    for (const wchar_t* name : others) EXPECT_FALSE(IsUserServiceInstanceName(name, L"CDPUserSvc")) << Narrow(name);
}

TEST(ServiceDependencies, ServicesAndGroupsEachOnTheirOwnLine) {
    EXPECT_EQ(FormatDependencies(nullptr), L"\r\n(none)");
    EXPECT_EQ(FormatDependencies(L"\0"), L"\r\n(none)");
    // Every "+" reads "Group: ", not only the one that marks a group; the first empty entry ends the walk.
    const wchar_t list[] = L"RpcSs\0+Network Provider\0a+b\0\0Hidden\0";
    EXPECT_EQ(FormatDependencies(list), L"\r\n->RpcSs\r\n->Group: Network Provider\r\n->aGroup: b");
}

TEST(ServiceDependants, NameAndStateOfEachInTheOrderGiven) {
    EXPECT_EQ(FormatDependants(nullptr, 0), L"\r\n(none)");
    ENUM_SERVICE_STATUSW dependants[3] = {};
    dependants[0].lpServiceName = const_cast<wchar_t*>(L"Zeta");
    dependants[0].lpDisplayName = const_cast<wchar_t*>(L"Zeta Service");
    dependants[0].ServiceStatus.dwCurrentState = SERVICE_RUNNING;
    dependants[1].lpServiceName = const_cast<wchar_t*>(L"alpha");
    dependants[1].lpDisplayName = const_cast<wchar_t*>(L"");
    dependants[1].ServiceStatus.dwCurrentState = SERVICE_STOPPED;
    dependants[2].lpServiceName = const_cast<wchar_t*>(L"Odd");
    dependants[2].lpDisplayName = const_cast<wchar_t*>(L"Odd (one)");
    dependants[2].ServiceStatus.dwCurrentState = 9;
    EXPECT_EQ(FormatDependants(dependants, 0), L"\r\n(none)");
    EXPECT_EQ(
        FormatDependants(dependants, 3),
        L"\r\n->Zeta Service (Zeta) (Started)\r\n-> (alpha) (Stopped)\r\n->Odd (one) (Odd) (Unable to Determine)");
}

// A record with every part present, with values outside the tables, and with all four marks.
TEST(ServiceDetails, FullRecordReadsLineByLine) {
    wchar_t binary[] = L"C:\\Program Files\\Q\\q.exe -k";
    wchar_t dependencies[] = L"RpcSs\0+QfGroup\0";
    QUERY_SERVICE_CONFIGW config = {};
    config.dwStartType = 5;
    config.dwErrorControl = 4;
    config.lpBinaryPathName = binary;
    config.lpDependencies = dependencies;
    ENUM_SERVICE_STATUSW dependant = {};
    dependant.lpServiceName = const_cast<wchar_t*>(L"QfChild");
    dependant.lpDisplayName = const_cast<wchar_t*>(L"Quillfen Child");
    dependant.ServiceStatus.dwCurrentState = SERVICE_PAUSED;

    ServiceRecord record;
    record.displayName = L"Quillfen Service";
    record.description = L"";  // present but empty
    record.hasStatus = true;
    record.state = 0;
    record.config = &config;
    record.group = L"QfGroup";
    record.marks = {true, true, true, true};
    record.dependants = &dependant;
    record.dependantCount = 1;
    EXPECT_EQ(FormatServiceDetails(record),
              L"\r\nQuillfen Service\r\n\"\"\r\nCurrent Status: Unable to Determine\r\n"
              L"Startup Type: Unable to Determine\r\nError Control: Unable to Determine\r\n"
              L"Binary: C:\\Program Files\\Q\\q.exe -k\r\nGroup: QfGroup\r\n"
              L"SafeBoot: Minimal Minimal(Group) Network Network(Group)\r\n"
              L"Dependencies:\r\n->RpcSs\r\n->Group: QfGroup\r\n"
              L"Dependant Services:\r\n->Quillfen Child (QfChild) (Paused)\r\n");

    config.dwStartType = SERVICE_DISABLED;
    config.dwErrorControl = SERVICE_ERROR_CRITICAL;
    record.state = SERVICE_RUNNING;
    record.description = L"Says \"hi\".";
    record.marks = {false, true, false, true};
    EXPECT_EQ(FormatServiceDetails(record),
              L"\r\nQuillfen Service\r\n\"Says \"hi\".\"\r\nCurrent Status: Started\r\n"
              L"Startup Type: Disabled\r\nError Control: Critical\r\n"
              L"Binary: C:\\Program Files\\Q\\q.exe -k\r\nGroup: QfGroup\r\n"
              L"SafeBoot: Minimal(Group) Network(Group)\r\n"
              L"Dependencies:\r\n->RpcSs\r\n->Group: QfGroup\r\n"
              L"Dependant Services:\r\n->Quillfen Child (QfChild) (Paused)\r\n");
}

// The new lines stand after the line they belong to; the design's lines are as before.
TEST(ServiceDetails, ServiceDllAndUserServiceInstances) {
    wchar_t binary[] = L"C:\\Windows\\system32\\svchost.exe -k UnistackSvcGroup";
    QUERY_SERVICE_CONFIGW config = {};
    config.dwServiceType = 0x60;
    config.dwStartType = SERVICE_AUTO_START;
    config.lpBinaryPathName = binary;
    ServiceRecord record;
    record.displayName = L"Connected Devices Platform User Service";
    record.hasStatus = true;
    record.state = SERVICE_STOPPED;
    record.config = &config;
    record.delayedStart = true;
    record.serviceDll = L"C:\\Windows\\System32\\CDPUserSvc.dll";
    record.instancesListed = true;
    record.instances = {{L"CDPUserSvc_3b2f1", SERVICE_RUNNING}, {L"CDPUserSvc_9a", SERVICE_STOPPED}};
    const std::wstring head =
        L"\r\nConnected Devices Platform User Service\r\n(No Description)\r\nCurrent Status: Stopped\r\n"
        L"Startup Type: Automatic (Delayed Start)\r\nError Control: Ignore\r\n"
        L"Binary: C:\\Windows\\system32\\svchost.exe -k UnistackSvcGroup\r\n"
        L"ServiceDll: C:\\Windows\\System32\\CDPUserSvc.dll\r\nGroup: (none)\r\nSafeBoot:\r\n"
        L"Dependencies:\r\n(none)\r\nDependant Services:\r\n(none)";
    EXPECT_EQ(FormatServiceDetails(record), head +
                                                L"\r\nUser Service Instance: CDPUserSvc_3b2f1 (Started)"
                                                L"\r\nUser Service Instance: CDPUserSvc_9a (Stopped)\r\n");
    record.instancesListed = false;
    record.instances.clear();
    EXPECT_EQ(FormatServiceDetails(record), head + L"\r\nUser Service Instance: (Unable to list services)\r\n");
    // An instance, or any other service, lists none.
    config.dwServiceType = 0xe0;
    EXPECT_EQ(FormatServiceDetails(record), head + L"\r\n");
}

// What could not be fetched: display name, description, status and the whole configuration.
TEST(ServiceDetails, MissingPartsHaveTheirOwnTexts) {
    ServiceRecord record;
    EXPECT_EQ(FormatServiceDetails(record),
              L"\r\n\r\n(No Description)\r\nCurrent Status: Unable to retrive status information\r\n"
              L"Startup Type: Unable to Determine\r\nError Control: Unable to Determine\r\n"
              L"Binary: \r\nGroup: (none)\r\nSafeBoot:\r\nDependencies:\r\n(none)\r\n"
              L"Dependant Services:\r\n(none)\r\n");

    // A configuration without a binary or a dependency list.
    QUERY_SERVICE_CONFIGW config = {};
    config.dwStartType = SERVICE_BOOT_START;
    config.dwErrorControl = SERVICE_ERROR_IGNORE;
    record.config = &config;
    record.displayName = L"D";
    record.description = L"Text";
    record.hasStatus = true;
    record.state = SERVICE_STOPPED;
    record.marks.network = true;
    EXPECT_EQ(FormatServiceDetails(record),
              L"\r\nD\r\n\"Text\"\r\nCurrent Status: Stopped\r\nStartup Type: Boot\r\nError Control: Ignore\r\n"
              L"Binary: \r\nGroup: (none)\r\nSafeBoot: Network\r\nDependencies:\r\n(none)\r\n"
              L"Dependant Services:\r\n(none)\r\n");
}

}  // namespace
