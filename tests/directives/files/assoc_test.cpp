// ASSOC lines against file types the tests register under HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Section(const std::wstring& line, const std::wstring& result) {
    return L"\r\n" + line + L"\r\n" + result + L"\r\n";
}

// An extension key whose default value names a file type key, both owned by the test.
struct Association {
    Association(const wchar_t* extensionStem, const wchar_t* typeStem, DWORD linkType = REG_SZ)
        : extension(UniqueName(extensionStem)),
          type(UniqueName(typeStem)),
          extensionKey(HKEY_CLASSES_ROOT, extension, KeyBefore::kReplace),
          typeKey(HKEY_CLASSES_ROOT, type, KeyBefore::kReplace) {
        extensionKey.SetString(L"", type, {}, linkType);
    }
    std::wstring extension;
    std::wstring type;
    ScopedKey extensionKey;
    ScopedKey typeKey;
};

TEST(FileAssoc, FollowsTheExtensionToItsOpenCommand) {
    Association file(L".qfext", L"QuillfenTest.File");
    const std::wstring& extension = file.extension;
    const std::wstring& type = file.type;
    // Stored with a reference, shown as stored.
    file.typeKey.SetString(L"", L"\"%SystemRoot%\\qfview.exe\" \"%1\"", L"shell\\open\\command", REG_EXPAND_SZ);
    file.typeKey.SetString(L"", L"ignored", L"shell\\edit\\command");
    EXPECT_EQ(RunHandler(FileAssoc, extension), Section(extension, L"\"%SystemRoot%\\qfview.exe\" \"%1\""));

    // No dot is added, and a trailing blank names another key.
    const std::wstring bare = UniqueName(L"qfbare");
    ScopedKey bareKey(HKEY_CLASSES_ROOT, bare, KeyBefore::kReplace);
    bareKey.SetString(L"", type);
    EXPECT_EQ(RunHandler(FileAssoc, bare), Section(bare, L"\"%SystemRoot%\\qfview.exe\" \"%1\""));
    EXPECT_EQ(RunHandler(FileAssoc, extension + L" "), Section(extension + L" ", L"Unable to open extension key."));
}

TEST(FileAssoc, EachMissingStepHasItsMessage) {
    const std::wstring noDefault = UniqueName(L".qfnodefault");
    ScopedKey noDefaultKey(HKEY_CLASSES_ROOT, noDefault, KeyBefore::kReplace);
    EXPECT_EQ(RunHandler(FileAssoc, noDefault), Section(noDefault, L"Unable to get filename string."));

    Association editOnly(L".qfeditonly", L"QuillfenTest.EditOnly");
    editOnly.typeKey.SetString(L"", L"edit.exe", L"shell\\edit\\command");
    EXPECT_EQ(RunHandler(FileAssoc, editOnly.extension), Section(editOnly.extension, L"Unable to open command key."));

    Association emptyCommand(L".qfemptycommand", L"QuillfenTest.EmptyCommand");
    emptyCommand.typeKey.CreateSubKey(L"shell\\open\\command");
    EXPECT_EQ(RunHandler(FileAssoc, emptyCommand.extension),
              Section(emptyCommand.extension, L"Unable to get association string."));

    const std::wstring missing = UniqueName(L".qfmissing");
    EXPECT_EQ(RunHandler(FileAssoc, missing), Section(missing, L"Unable to open extension key."));
}

TEST(FileAssoc, ValuesOfAnyTypeAreReadAsText) {
    Association odd(L".qfodd", L"QuillfenTest.Odd", REG_BINARY);
    odd.typeKey.SetString(L"", L"run.exe", L"shell\\open\\command", REG_MULTI_SZ);  // shown up to its first NUL
    EXPECT_EQ(RunHandler(FileAssoc, odd.extension), Section(odd.extension, L"run.exe"));
}

}  // namespace
