// ASSOC lines against file types the tests register under HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Section(const std::wstring& line, const std::wstring& result) {
    return L"\r\n" + line + L"\r\n" + result + L"\r\n";
}

TEST(FileAssoc, FollowsTheExtensionToItsOpenCommand) {
    const std::wstring extension = UniqueName(L".qfext");
    const std::wstring type = UniqueName(L"QuillfenTest.File");
    ClassesKey extensionKey(extension);
    ClassesKey typeKey(type);
    extensionKey.SetDefault(type);
    // Stored with a reference, shown as stored.
    typeKey.SetDefault(L"\"%SystemRoot%\\qfview.exe\" \"%1\"", REG_EXPAND_SZ, L"shell\\open\\command");
    typeKey.SetDefault(L"ignored", REG_SZ, L"shell\\edit\\command");
    EXPECT_EQ(RunHandler(FileAssoc, extension), Section(extension, L"\"%SystemRoot%\\qfview.exe\" \"%1\""));

    // No dot is added, and a trailing blank names another key.
    const std::wstring bare = UniqueName(L"qfbare");
    ClassesKey bareKey(bare);
    bareKey.SetDefault(type);
    EXPECT_EQ(RunHandler(FileAssoc, bare), Section(bare, L"\"%SystemRoot%\\qfview.exe\" \"%1\""));
    EXPECT_EQ(RunHandler(FileAssoc, extension + L" "), Section(extension + L" ", L"Unable to open extension key."));
}

TEST(FileAssoc, EachMissingStepHasItsMessage) {
    const std::wstring noDefault = UniqueName(L".qfnodefault");
    ClassesKey noDefaultKey(noDefault);
    EXPECT_EQ(RunHandler(FileAssoc, noDefault), Section(noDefault, L"Unable to get filename string."));

    const std::wstring editOnlyType = UniqueName(L"QuillfenTest.EditOnly");
    const std::wstring editOnly = UniqueName(L".qfeditonly");
    ClassesKey editOnlyTypeKey(editOnlyType);
    ClassesKey editOnlyKey(editOnly);
    editOnlyKey.SetDefault(editOnlyType);
    editOnlyTypeKey.SetDefault(L"edit.exe", REG_SZ, L"shell\\edit\\command");
    EXPECT_EQ(RunHandler(FileAssoc, editOnly), Section(editOnly, L"Unable to open command key."));

    const std::wstring emptyCommandType = UniqueName(L"QuillfenTest.EmptyCommand");
    const std::wstring emptyCommand = UniqueName(L".qfemptycommand");
    ClassesKey emptyCommandTypeKey(emptyCommandType);
    ClassesKey emptyCommandKey(emptyCommand);
    emptyCommandKey.SetDefault(emptyCommandType);
    emptyCommandTypeKey.CreateSubKey(L"shell\\open\\command");
    EXPECT_EQ(RunHandler(FileAssoc, emptyCommand), Section(emptyCommand, L"Unable to get association string."));

    const std::wstring missing = UniqueName(L".qfmissing");
    EXPECT_EQ(RunHandler(FileAssoc, missing), Section(missing, L"Unable to open extension key."));
}

TEST(FileAssoc, ValuesOfAnyTypeAreReadAsText) {
    const std::wstring extension = UniqueName(L".qfodd");
    const std::wstring type = UniqueName(L"QuillfenTest.Odd");
    ClassesKey extensionKey(extension);
    ClassesKey typeKey(type);
    extensionKey.SetDefault(type, REG_BINARY);
    typeKey.SetDefault(L"run.exe", REG_MULTI_SZ, L"shell\\open\\command");  // shown up to its first NUL
    EXPECT_EQ(RunHandler(FileAssoc, extension), Section(extension, L"run.exe"));
}

}  // namespace
