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

// Under 64-bit Wine the tests run as a 64-bit process: nothing is redirected and nothing is changed.
TEST(ProcessNativeViews, A64BitProcessKeepsItsViews) {
    ASSERT_EQ(sizeof(void*), 8u);
    EXPECT_FALSE(RunningUnderWow64());
    EXPECT_FALSE(ProcessNativeViews().fileSystem);
    EXPECT_EQ(ProcessNativeViews().registryView, 0u);
    EXPECT_FALSE(ProcessNativeViews().nativeProgramFolders);
    NativeFileSystemView idle;
    EXPECT_FALSE(idle.active());
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
