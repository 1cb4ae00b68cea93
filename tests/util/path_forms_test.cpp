// The form a typed path is opened by, decided from what GetFullPathNameW made of it.
#include "util/path_forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

struct OpenCase {
    std::wstring typed;
    std::wstring systemFull;  // GetFullPathNameW's answer; empty for none
    std::wstring open;
    bool device;
};

void ExpectChoices(const std::vector<OpenCase>& cases) {
    for (const OpenCase& c : cases) {
        const OpenablePath chosen = ChooseOpenablePath(c.typed, c.systemFull);
        EXPECT_EQ(chosen.path, c.open) << Narrow(c.typed) << " / " << Narrow(c.systemFull);
        EXPECT_EQ(chosen.device, c.device) << Narrow(c.typed) << " / " << Narrow(c.systemFull);
    }
}

TEST(OpenablePaths, TheSystemsFullPathInItsExtendedFormAndVerbatimPathsAsTyped) {
    const std::wstring longFolder =
        L"C:\\" + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b') + L"\\" + std::wstring(120, L'c');
    ExpectChoices({
        {L"C:\\t\\f.txt", L"C:\\t\\f.txt", L"\\\\?\\C:\\t\\f.txt", false},
        {L"f.txt", L"C:\\work\\f.txt", L"\\\\?\\C:\\work\\f.txt", false},
        {L"C:\\t\\..\\u\\.\\f", L"C:\\u\\f", L"\\\\?\\C:\\u\\f", false},
        {L"C:\\t\\a. ", L"C:\\t\\a", L"\\\\?\\C:\\t\\a", false},  // what Win32 opens: the dot and blank go
        {L"C:/t/f", L"C:\\t\\f", L"\\\\?\\C:\\t\\f", false},
        {L"\\\\server\\share\\f", L"\\\\server\\share\\f", L"\\\\?\\UNC\\server\\share\\f", false},
        {longFolder + L"\\f", longFolder + L"\\f", L"\\\\?\\" + longFolder + L"\\f", false},
        // A long path that the system answers only when asked in its \\?\ form.
        {longFolder + L"\\f", L"\\\\?\\" + longFolder + L"\\f", L"\\\\?\\" + longFolder + L"\\f", false},
        // Verbatim: the system hands them on unchanged, and so do we (Windows makes "C:\??\C:\t" of the
        // first, Wine "Z:\??\C:\t"; both would resolve the "..").
        {L"\\??\\C:\\t", L"C:\\??\\C:\\t", L"\\??\\C:\\t", false},
        {L"\\??\\C:\\t", L"Z:\\??\\C:\\t", L"\\??\\C:\\t", false},
        {L"\\\\?\\C:\\t\\..\\x. ", L"\\\\?\\C:\\x", L"\\\\?\\C:\\t\\..\\x. ", false},
        {L"\\\\?\\UNC\\server\\share\\f", L"", L"\\\\?\\UNC\\server\\share\\f", false},
        {L"\\\\?\\pipe\\x", L"\\\\?\\pipe\\x", L"\\\\?\\pipe\\x", true},
        // A volume without a letter, or a shadow copy: files, opened as typed.
        {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\f", L"",
         L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\f", false},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\f", L"",
         L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\f", false},
        {L"\\??\\PhysicalDrive0", L"", L"\\??\\PhysicalDrive0", true},
        // The pipe and mailslot shares of a server are no files in any form.
        {L"\\\\server\\pipe\\x", L"\\\\server\\pipe\\x", L"\\\\?\\UNC\\server\\pipe\\x", true},
        // No answer: the typed path, judged by its text.
        {L"x", L"", L"x", false},
        {L"nul.txt", L"", L"nul.txt", true},
    });
}

// Which names are devices is what GetFullPathNameW answers on each version: a \\.\ answer is a device,
// never opened; any other answer is a file, opened by its \\?\ form whatever its name.
TEST(OpenablePaths, DevicesAsWindows10DecidesThem) {
    ExpectChoices({
        {L"C:\\x\\com1.log", L"\\\\.\\com1", L"\\\\.\\com1", true},
        {L"C:\\src\\aux.c", L"\\\\.\\aux", L"\\\\.\\aux", true},
        {L"C:\\x\\nul.txt", L"\\\\.\\nul", L"\\\\.\\nul", true},
        {L"C:\\x\\lpt1 .dat", L"\\\\.\\lpt1", L"\\\\.\\lpt1", true},
        {L"COM1", L"\\\\.\\COM1", L"\\\\.\\COM1", true},
        {L"C:\\x\\console.log", L"C:\\x\\console.log", L"\\\\?\\C:\\x\\console.log", false},
        {L"C:\\x\\com10", L"C:\\x\\com10", L"\\\\?\\C:\\x\\com10", false},
        {L"\\\\.\\C:\\x\\..\\f", L"\\\\.\\C:\\f", L"\\\\.\\C:\\f", true},  // the device namespace, as typed
        {L"//./pipe/x", L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x", true},
        {L"//?/C:/x/f", L"\\\\?\\C:\\x\\f", L"\\\\?\\C:\\x\\f", false},
    });
}

TEST(OpenablePaths, DevicesAsWindows11DecidesThem) {
    ExpectChoices({
        {L"C:\\x\\com1.log", L"C:\\x\\com1.log", L"\\\\?\\C:\\x\\com1.log", false},
        {L"C:\\src\\aux.c", L"C:\\src\\aux.c", L"\\\\?\\C:\\src\\aux.c", false},
        {L"C:\\x\\nul.txt", L"C:\\x\\nul.txt", L"\\\\?\\C:\\x\\nul.txt", false},
        {L"COM1", L"\\\\.\\COM1", L"\\\\.\\COM1", true},
        {L"nul", L"\\\\.\\nul", L"\\\\.\\nul", true},
        {L"C:\\x\\con", L"\\\\.\\con", L"\\\\.\\con", true},
    });
}

TEST(OpenablePaths, AReportPathReadsFullAsTheUserWouldTypeItAndVerbatimAsTyped) {
    const struct {
        std::wstring typed;
        std::wstring systemFull;  // as GetFullPathNameW answers
        std::wstring shown;
    } cases[] = {
        {L"C:\\t\\r.txt", L"C:\\t\\r.txt", L"C:\\t\\r.txt"},
        {L"r.txt", L"C:\\work\\r.txt", L"C:\\work\\r.txt"},
        {L"C:\\t\\r. ", L"C:\\t\\r", L"C:\\t\\r"},
        {L"\\\\server\\share\\r.txt", L"\\\\server\\share\\r.txt", L"\\\\server\\share\\r.txt"},
        // Windows makes "C:\??\Z:\t\r.txt" of it, Wine "Z:\??\Z:\t\r.txt": a path nobody typed.
        {L"\\??\\Z:\\t\\r.txt", L"Z:\\??\\Z:\\t\\r.txt", L"\\??\\Z:\\t\\r.txt"},
        {L"\\\\?\\C:\\t\\..\\r. ", L"\\\\?\\C:\\r", L"\\\\?\\C:\\t\\..\\r. "},
        {L"NUL", L"\\\\.\\NUL", L"\\\\.\\NUL"},
        {L"r.txt", L"", L"r.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseFullPath(c.typed, ChooseOpenablePath(c.typed, c.systemFull)), c.shown) << Narrow(c.typed);
    }
}

TEST(OpenablePaths, WhatThisSystemAnswersIsWhatIsOpened) {
    ScratchFolder folder;
    const std::wstring file = folder / L"f.txt";
    EXPECT_EQ(SystemFullPath(file.c_str()), file);
    EXPECT_EQ(OpenablePathOf(file.c_str()).path, L"\\\\?\\" + file);
    EXPECT_EQ(OpenablePathOf(L"\\??\\C:\\t").path, L"\\??\\C:\\t");
    const std::wstring deep = folder.path() + L"\\" + std::wstring(200, L'd') + L"\\..\\" + std::wstring(200, L'e');
    EXPECT_EQ(OpenablePathOf(deep.c_str()).path, L"\\\\?\\" + folder.path() + L"\\" + std::wstring(200, L'e'));
}

}  // namespace
