#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "directives/registry/registry.h"
#include "directives/system/system.h"
#include "tests/directives/registry/registry_fixtures.h"
#include "tests/support/native_keys.h"

namespace {

const wchar_t kSafeBoot[] = L"System\\CurrentControlSet\\Control\\SafeBoot";
const wchar_t kSelect[] = L"System\\Select";

TEST(Csinfo, SelectionValuesAndNumberedControlSets) {
    ScopedValue current(HKEY_LOCAL_MACHINE, kSelect, L"Current"), byDefault(HKEY_LOCAL_MACHINE, kSelect, L"Default"),
        failed(HKEY_LOCAL_MACHINE, kSelect, L"Failed"), lastKnownGood(HKEY_LOCAL_MACHINE, kSelect, L"LastKnownGood");
    current.SetDword(3);
    byDefault.SetDword(0xFFFFFFFF);
    failed.Remove();
    const DWORD two = 2;
    lastKnownGood.Set(REG_BINARY, &two, sizeof two);  // not a DWORD: shown as nothing
    ScopedKey set010(HKEY_LOCAL_MACHINE, L"System\\ControlSet010");
    set010.CreateSubKey(L"Control");
    ScopedKey set000(HKEY_LOCAL_MACHINE, L"System\\ControlSet000");
    ScopedKey bare(HKEY_LOCAL_MACHINE, L"System\\ControlSet");
    ScopedKey set007(HKEY_LOCAL_MACHINE, L"System\\ControlSet007");
    set007.CreateSubKey(L"Control");
    DenyRead deny(HKEY_LOCAL_MACHINE, set007.path());
    ScopedKey otherCase(HKEY_LOCAL_MACHINE, L"System\\controlset005");
    set000.CreateSubKey(L"NotControl");

    // Every key of System whose name begins with "ControlSet", in that case, has its line, ours and the
    // machine's own alike (Wine 8 has none of its own).
    std::wstring sets;
    int ours = 0;
    for (const std::wstring& name : EnumeratedSubkeys(HKEY_LOCAL_MACHINE, L"System")) {
        if (name.rfind(L"ControlSet", 0) != 0) continue;
        std::wstring number = name.substr(10);
        number.erase(0, std::min(number.find_first_not_of(L'0'), number.size()));
        HKEY control = nullptr;
        const bool present = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"System\\" + name + L"\\Control").c_str(), 0, KEY_READ,
                                           &control) == ERROR_SUCCESS;
        if (present) RegCloseKey(control);
        sets += L"\r\n" + number + L" -> " +
                (name == L"ControlSet007" ? L"Error opening ControlSetKey key."
                 : present                ? L"Control present"
                                          : L"No Control");
        if (name == L"ControlSet010" || name == L"ControlSet000" || name == L"ControlSet" || name == L"ControlSet007") {
            ++ours;
        } else {
            std::printf("a control set of the machine's own: %s\n", Narrow(name).c_str());
        }
    }
    ASSERT_EQ(ours, 4) << Narrow(sets);

    const std::wstring expected =
        L"\r\n========== ControlSet Info ==========\r\n"
        L"\r\nCurrent: 3\r\nDefault: -1\r\nFailed: \r\nLastKnownGood: \r\n" +
        sets + L"\r\n";
    EXPECT_EQ(CaptureReport([](FILE* report) { csinfo(report); }), expected);
}

TEST(Safeboot, ShellAndSetsWithDeviceClasses) {
    ScopedKey safeBoot(HKEY_LOCAL_MACHINE, kSafeBoot);
    safeBoot.SetString(L"AlternateShell", L"cmd.exe");
    safeBoot.SetString(L"", L"Disk drive", L"Minimal\\{4D36E967-E325-11CE-BFC1-08002BE10318}");
    safeBoot.SetString(L"", L"Driver", L"Minimal\\vga.sys");  // shown by its name all the same
    safeBoot.SetString(L"", L"Driver Group", L"Minimal\\Base");
    safeBoot.CreateSubKey(L"Minimal\\{no-description}");
    safeBoot.SetString(L"", L"Service", L"Network\\Netlogon");
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
    ScopedKey safeBoot(HKEY_LOCAL_MACHINE, kSafeBoot);
    const BYTE shell[] = {'c', 0, 'm', 0, 'd'};
    safeBoot.SetValue(L"AlternateShell", REG_SZ, shell, sizeof shell);
    const BYTE driver[] = {'D', 0, 'r', 0, 'i', 0, 'v', 0, 'e', 0, 'r'};
    safeBoot.SetValue(L"", REG_SZ, driver, sizeof driver, L"Minimal\\QfOddDriver");
    safeBoot.CreateSubKey(L"Network");
    HKEY network = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (safeBoot.path() + L"\\Network").c_str(), 0, KEY_ALL_ACCESS, &network),
              ERROR_SUCCESS);
    RegKey networkGuard(network);
    NativeKeys native(safeBoot);
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
    EXPECT_EQ(GetSafeBootServices(L"Minimal"), std::vector<std::wstring>{L"QFODDDRIVER"});
    EXPECT_EQ(GetSafeBootServices(L"Network"), std::vector<std::wstring>{L"QF\\0HIDDEN"});
}

TEST(Safeboot, EmptyAndMissingSets) {
    const std::wstring missing =
        L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: \r\n\r\n--- Minimal ---"
        L"\r\nError opening Minimal key.\r\n\r\n--- Network ---\r\nError opening Network key.\r\n";
    EXPECT_EQ(CaptureReport([](FILE* report) { safeboot(report); }), missing);

    ScopedKey safeBoot(HKEY_LOCAL_MACHINE, kSafeBoot);
    safeBoot.CreateSubKey(L"Minimal");
    safeBoot.SetString(L"AlternateShell", L"");
    EXPECT_EQ(CaptureReport([](FILE* report) { safeboot(report); }),
              L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: \r\n\r\n--- Minimal ---"
              L"\r\n\r\n--- Network ---\r\nError opening Network key.\r\n");
}

TEST(Reports, CommandsRunFromAScriptEachTimeTheyStand) {
    ScopedKey safeBoot(HKEY_LOCAL_MACHINE, kSafeBoot);
    safeBoot.SetString(L"AlternateShell", L"shell.exe");
    safeBoot.CreateSubKey(L"Minimal");
    safeBoot.CreateSubKey(L"Network");
    std::wstring script = L"::safeboot\r\n::SafeBoot\r\n";
    const std::wstring section =
        L"\r\n========== SafeBoot Info ==========\r\n\r\nAlternate Shell: shell.exe\r\n\r\n--- Minimal ---"
        L"\r\n\r\n--- Network ---\r\n";
    EXPECT_EQ(Interpret(script), section + section);

    std::wstring csinfoScript = L"::csinfo\r\n::csinfo\r\n";
    std::wstring twice = Interpret(csinfoScript);
    std::wstring once = CaptureReport([](FILE* report) { csinfo(report); });
    EXPECT_EQ(twice, once + once);
    EXPECT_EQ(once.rfind(L"\r\n========== ControlSet Info ==========\r\n\r\nCurrent: ", 0), 0u) << Narrow(once);
}

}  // namespace
