#include <gtest/gtest.h>

#include <optional>

#include "directives/registry/registry.h"
#include "directives/system/system.h"
#include "script/interpreter.h"
#include "tests/directives/registry/registry_fixtures.h"
#include "tests/support/native_keys.h"

namespace {

// A key tree under HKLM that the test creates and removes; it must not exist beforehand.
class MachineKey {
public:
    explicit MachineKey(const std::wstring& path) : path_(path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
            ADD_FAILURE() << "HKLM\\" << Narrow(path) << " exists already; the test would destroy it";
            owned_ = false;
            return;
        }
        Create(L"");
    }
    ~MachineKey() {
        if (owned_) RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str()), RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    MachineKey(const MachineKey&) = delete;
    MachineKey& operator=(const MachineKey&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring Create(const std::wstring& sub) {
        std::wstring full = sub.empty() ? path_ : path_ + L"\\" + sub;
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
            << Narrow(full);
        RegCloseKey(key);
        return full;
    }
    void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text) {
        SetBytes(sub, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
    }
    void SetBytes(const std::wstring& sub, const std::wstring& name, DWORD type, const void* data, DWORD size) {
        std::wstring full = Create(sub);
        EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, full.c_str(), name.c_str(), type, data, size), ERROR_SUCCESS);
    }

private:
    std::wstring path_;
    bool owned_ = true;
};

// Sets a value of HKLM\System\Select for the test (absent when `number` is empty) and puts back
// what was there before.
class SelectValue {
public:
    SelectValue(const wchar_t* name, std::optional<DWORD> number, DWORD type = REG_DWORD) : name_(name) {
        DWORD size = sizeof old_;
        hadValue_ =
            RegGetValueW(HKEY_LOCAL_MACHINE, kSelect, name, RRF_RT_ANY, &oldType_, &old_, &size) == ERROR_SUCCESS;
        if (number) {
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSelect, name, type, &*number, sizeof *number);
        } else {
            Delete();
        }
    }
    ~SelectValue() {
        if (hadValue_) {
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSelect, name_, oldType_, &old_, sizeof old_);
        } else {
            Delete();
        }
    }
    SelectValue(const SelectValue&) = delete;
    SelectValue& operator=(const SelectValue&) = delete;

private:
    static constexpr const wchar_t* kSelect = L"System\\Select";
    void Delete() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSelect, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueW(key, name_);
        RegCloseKey(key);
    }
    const wchar_t* name_;
    bool hadValue_ = false;
    DWORD oldType_ = 0;
    DWORD old_ = 0;
};

const wchar_t kSafeBoot[] = L"System\\CurrentControlSet\\Control\\SafeBoot";

TEST(Csinfo, SelectionValuesAndNumberedControlSets) {
    SelectValue current(L"Current", 3);
    SelectValue byDefault(L"Default", 0xFFFFFFFF);
    SelectValue failed(L"Failed", std::nullopt);
    SelectValue lastKnownGood(L"LastKnownGood", 2, REG_BINARY);  // not a DWORD: shown as nothing
    MachineKey set010(L"System\\ControlSet010");
    set010.Create(L"Control");
    MachineKey set000(L"System\\ControlSet000");
    MachineKey bare(L"System\\ControlSet");
    MachineKey set007(L"System\\ControlSet007");
    set007.Create(L"Control");
    DenyRead deny(HKEY_LOCAL_MACHINE, set007.path());
    MachineKey otherCase(L"System\\controlset005");
    set000.Create(L"NotControl");

    // Whatever else System holds, only these names begin with "ControlSet" in that case.
    std::wstring sets;
    for (const std::wstring& name : EnumeratedSubkeys(HKEY_LOCAL_MACHINE, L"System")) {
        if (name == L"ControlSet010") sets += L"\r\n10 -> Control present";
        if (name == L"ControlSet000") sets += L"\r\n -> No Control";
        if (name == L"ControlSet") sets += L"\r\n -> No Control";
        if (name == L"ControlSet007") sets += L"\r\n7 -> Error opening ControlSetKey key.";
        if (name.rfind(L"ControlSet", 0) == 0 && name.size() > 10 && name != L"ControlSet010" &&
            name != L"ControlSet000" && name != L"ControlSet007") {
            ADD_FAILURE() << "unexpected control set " << Narrow(name);
        }
    }
    ASSERT_EQ(sets.size(),
              std::wstring(L"\r\n10 -> Control present\r\n -> No Control\r\n -> No Control\r\n7 -> Error opening "
                           L"ControlSetKey key.")
                  .size());

    const std::wstring expected =
        L"\r\n========== ControlSet Info ==========\r\n"
        L"\r\nCurrent: 3\r\nDefault: -1\r\nFailed: \r\nLastKnownGood: \r\n" +
        sets + L"\r\n";
    EXPECT_EQ(CaptureReport([](FILE* report) { csinfo(report); }), expected);
}

TEST(Safeboot, ShellAndSetsWithDeviceClasses) {
    MachineKey safeBoot(kSafeBoot);
    safeBoot.SetString(L"", L"AlternateShell", L"cmd.exe");
    safeBoot.SetString(L"Minimal\\{4D36E967-E325-11CE-BFC1-08002BE10318}", L"", L"Disk drive");
    safeBoot.SetString(L"Minimal\\vga.sys", L"", L"Driver");  // shown by its name all the same
    safeBoot.SetString(L"Minimal\\Base", L"", L"Driver Group");
    safeBoot.Create(L"Minimal\\{no-description}");
    safeBoot.SetString(L"Network\\Netlogon", L"", L"Service");
    std::wstring minimal;
    for (const std::wstring& name : EnumeratedSubkeys(HKEY_LOCAL_MACHINE, safeBoot.path() + L"\\Minimal")) {
        minimal += name == L"{4D36E967-E325-11CE-BFC1-08002BE10318}" ? L"\r\n(Disk drive)"
                   : name == L"{no-description}"                     ? L"\r\n()"
                                                                     : L"\r\n" + name;
    }
    ASSERT_EQ(minimal.size(), std::wstring(L"\r\n(Disk drive)\r\n()\r\nBase\r\nvga.sys").size());

    const std::wstring expected =
        L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: cmd.exe\r\n\r\n--- Minimal ---" + minimal +
        L"\r\n\r\n--- Network ---\r\nNetlogon\r\n";
    EXPECT_EQ(CaptureReport([](FILE* report) { safeboot(report); }), expected);
}

TEST(Safeboot, OddStringDataKeepsItsLastByteAndNulNamesShow) {
    MachineKey safeBoot(kSafeBoot);
    const BYTE shell[] = {'c', 0, 'm', 0, 'd'};
    safeBoot.SetBytes(L"", L"AlternateShell", REG_SZ, shell, sizeof shell);
    const BYTE driver[] = {'D', 0, 'r', 0, 'i', 0, 'v', 0, 'e', 0, 'r'};
    safeBoot.SetBytes(L"Minimal\\QfOddDriver", L"", REG_SZ, driver, sizeof driver);
    safeBoot.Create(L"Network");
    HKEY network = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (safeBoot.path() + L"\\Network").c_str(), 0, KEY_ALL_ACCESS, &network),
              ERROR_SUCCESS);
    RegKey networkGuard(network);
    TestKey anchor(L"SafebootNul");  // NativeKeys removes what it made below any open key
    NativeKeys native(anchor);
    HKEY hidden = native.CreateKey(network, std::wstring(L"Qf\0Hidden", 9));
    ASSERT_NE(hidden, nullptr);
    native.SetString(hidden, L"", L"Service");
    HKEY hiddenClass = native.CreateKey(network, std::wstring(L"{qf\0class}", 10));
    ASSERT_NE(hiddenClass, nullptr);
    native.SetString(hiddenClass, L"", L"Hidden class");
    std::wstring networkLines;
    for (const std::wstring& name : EnumeratedSubkeys(HKEY_LOCAL_MACHINE, safeBoot.path() + L"\\Network")) {
        networkLines += name[0] == L'{' ? L"\r\n(Hidden class)" : L"\r\nQf\\0Hidden";
    }
    ASSERT_EQ(networkLines.size(), std::wstring(L"\r\n(Hidden class)\r\nQf\\0Hidden").size());
    EXPECT_EQ(CaptureReport([](FILE* report) { safeboot(report); }),
              L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: cmd\r\n\r\n--- Minimal ---"
              L"\r\nQfOddDriver\r\n\r\n--- Network ---" +
                  networkLines + L"\r\n");
    // The service report reads the same sets and the same data.
    StringList minimal(GetSafeBootServices(L"Minimal"));
    ASSERT_NE(minimal.get(), nullptr);
    EXPECT_STREQ(minimal.get()->text, L"QFODDDRIVER");
    EXPECT_EQ(minimal.get()->next, nullptr);
    StringList services(GetSafeBootServices(L"Network"));
    ASSERT_NE(services.get(), nullptr);
    EXPECT_STREQ(services.get()->text, L"QF\\0HIDDEN");
    EXPECT_EQ(services.get()->next, nullptr);
}

TEST(ServiceGroup, OddDataKeepsItsLastByteAndOnlyTheWholeNameCounts) {
    MachineKey service(L"System\\CurrentControlSet\\Services\\QfOddGroup");
    const BYTE group[] = {'N', 0, 'e', 0, 't'};
    service.SetBytes(L"", L"Group", REG_SZ, group, sizeof group);
    EXPECT_STREQ(OwnedText(GetGroup(L"QfOddGroup")).get(), L"Net");

    MachineKey spoofed(L"System\\CurrentControlSet\\Services\\QfNulGroup");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, spoofed.path().c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegKey guard(key);
    TestKey anchor(L"ServiceGroupNul");
    NativeKeys native(anchor);
    native.SetString(key, std::wstring(L"Group\0x", 7), L"Spoofed");
    EXPECT_EQ(OwnedText(GetGroup(L"QfNulGroup")), nullptr);
}

TEST(Safeboot, EmptyAndMissingSets) {
    const std::wstring missing =
        L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: \r\n\r\n--- Minimal ---"
        L"\r\nError opening Minimal key.\r\n\r\n--- Network ---\r\nError opening Network key.\r\n";
    EXPECT_EQ(CaptureReport([](FILE* report) { safeboot(report); }), missing);

    MachineKey safeBoot(kSafeBoot);
    safeBoot.Create(L"Minimal");
    safeBoot.SetString(L"", L"AlternateShell", L"");
    EXPECT_EQ(CaptureReport([](FILE* report) { safeboot(report); }),
              L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: \r\n\r\n--- Minimal ---"
              L"\r\n\r\n--- Network ---\r\nError opening Network key.\r\n");
}

TEST(Reports, CommandsRunFromAScriptEachTimeTheyStand) {
    MachineKey safeBoot(kSafeBoot);
    safeBoot.SetString(L"", L"AlternateShell", L"shell.exe");
    safeBoot.Create(L"Minimal");
    safeBoot.Create(L"Network");
    std::wstring script = L"::safeboot\r\n::SafeBoot\r\n";
    const std::wstring section =
        L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: shell.exe\r\n\r\n--- Minimal ---"
        L"\r\n\r\n--- Network ---\r\n";
    EXPECT_EQ(CaptureReport([&](FILE* report) { ParseScript(script.data(), report); }), section + section);

    std::wstring csinfoScript = L"::csinfo\r\n::csinfo\r\n";
    std::wstring twice = CaptureReport([&](FILE* report) { ParseScript(csinfoScript.data(), report); });
    std::wstring once = CaptureReport([](FILE* report) { csinfo(report); });
    EXPECT_EQ(twice, once + once);
    EXPECT_EQ(once.rfind(L"\r\n========== ControlSet Info ==========\r\n\r\nCurrent: ", 0), 0u) << Narrow(once);
}

TEST(Reports, RegContextsRunThroughTheInterpreter) {
    TestKey key(L"RegScript");
    key.SetString(L"Qf5Script", L"v");
    std::wstring script = L":REG\r\nHKCU\\Software\\QuillfenTests\\RegScript\r\n:regfind\r\nQf5NoSuchTermAnywhere\r\n";
    EXPECT_EQ(
        CaptureReport([&](FILE* report) { ParseScript(script.data(), report); }),
        L"\r\n========== REG ==========\r\n\r\n[HKEY_CURRENT_USER\\Software\\QuillfenTests\\RegScript]\r\n"
        L"\"Qf5Script\"=\"v\"\r\n\r\n"
        L"\r\n========== regfind ==========\r\n\r\nSearching for \"Qf5NoSuchTermAnywhere\"\r\nNo data found.\r\n");
}

}  // namespace
