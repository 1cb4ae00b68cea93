// Which views the program asks for, from its build and from WOW64.
#include "util/native_view.h"

#include <gtest/gtest.h>

namespace {

TEST(ChooseNativeViews, OnlyA32BitBuildUnderWow64) {
    struct Row {
        bool build32;
        bool underWow64;
        bool fileSystem;
        REGSAM registryView;
        bool nativeProgramFolders;
    };
    const Row rows[] = {
        {false, false, false, 0, false},            // x64 build on 64-bit Windows
        {false, true, false, 0, false},             // never seen: a 64-bit process is not under WOW64
        {true, false, false, 0, false},             // x86 build on 32-bit Windows: its views are the native ones
        {true, true, true, KEY_WOW64_64KEY, true},  // x86 build on x64 or ARM64 Windows
    };
    for (const Row& row : rows) {
        NativeViews views = ChooseNativeViews(row.build32, row.underWow64);
        EXPECT_EQ(views.fileSystem, row.fileSystem) << row.build32 << row.underWow64;
        EXPECT_EQ(views.registryView, row.registryView) << row.build32 << row.underWow64;
        EXPECT_EQ(views.nativeProgramFolders, row.nativeProgramFolders) << row.build32 << row.underWow64;
    }
}

// What each kind of Windows answers for the process, as documented for IsWow64Process2 and
// IsWow64Process; only the x86 builds' rows are under WOW64.
TEST(UnderWow64, TheMachineWhereKnownElseTheOlderFlag) {
    const struct {
        const char* where;
        Wow64Answers answers;
        bool underWow64;
    } rows[] = {
        {"x64 build, x64 Windows 10", {true, IMAGE_FILE_MACHINE_UNKNOWN, false}, false},
        {"x64 build, ARM64 Windows 11 (emulated, not WOW64)", {true, IMAGE_FILE_MACHINE_UNKNOWN, false}, false},
        {"x86 build, x64 Windows 10", {true, IMAGE_FILE_MACHINE_I386, true}, true},
        {"x86 build, ARM64 Windows 10 (the older flag says FALSE)", {true, IMAGE_FILE_MACHINE_I386, false}, true},
        {"x86 build, 32-bit Windows 10", {true, IMAGE_FILE_MACHINE_UNKNOWN, false}, false},
        {"x86 build, x64 Windows 7 (no IsWow64Process2)", {false, IMAGE_FILE_MACHINE_UNKNOWN, true}, true},
        {"x86 build, 32-bit Windows 7", {false, IMAGE_FILE_MACHINE_UNKNOWN, false}, false},
    };
    for (const auto& row : rows) EXPECT_EQ(UnderWow64(row.answers), row.underWow64) << row.where;
}

// Asked for where it is not available (a 64-bit process), the guard reports itself inactive and
// leaves the thread's file access working.
TEST(NativeFileSystemView, WithoutWow64NothingIsTurnedOff) {
    NativeViews asked;
    asked.fileSystem = true;
    {
        NativeFileSystemView view(asked);
        EXPECT_FALSE(view.active());
        EXPECT_NE(GetFileAttributesW(L"C:\\windows\\system32\\kernel32.dll"), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_NE(GetFileAttributesW(L"C:\\windows\\system32\\kernel32.dll"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
