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

// The user's choice, written where Explorer keeps it (Wine keeps none of its own).
TEST(FileAssoc, TheProgramTheUserChoseInstead) {
    Association file(L".qfchosen", L"QuillfenTest.Registered");
    file.typeKey.SetString(L"", L"registered.exe \"%1\"", L"shell\\open\\command");
    Association other(L".qfother", L"QuillfenTest.Chosen");
    other.typeKey.SetString(L"", L"chosen.exe \"%1\"", L"shell\\open\\command");
    Association bare(L".qfbare", L"QuillfenTest.NoCommand");  // a class with no open verb
    const std::wstring& ext = file.extension;
    const std::wstring registered = Section(ext, L"registered.exe \"%1\"");
    const std::wstring chosen = other.type + L" - chosen.exe \"%1\"";
    const std::wstring fileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
    ScopedKey exts(HKEY_CURRENT_USER, fileExts + ext, KeyBefore::kReplace);
    EXPECT_EQ(RunHandler(FileAssoc, ext), registered);  // a FileExts key without a choice

    const std::wstring nulProgId = other.type + std::wstring(L"\0x", 2);
    const struct {
        const wchar_t* key;
        std::wstring progId;  // empty: the key without a ProgId
        std::wstring line;    // empty: none
    } rows[] = {
        {L"UserChoice", L"", L"User Choice: (Unable to read ProgId)"},
        {L"UserChoice", other.type, L"User Choice: " + chosen},
        {L"UserChoice", L"quillfentest.registered" + file.type.substr(23), L""},  // the registered class, any case
        {L"UserChoiceLatest", other.type, L"User Choice: " + chosen},
        {L"UserChoiceLatest", nulProgId, L"User Choice: " + other.type + L"\\0x - chosen.exe \"%1\""},
        {L"UserChoiceLatest", bare.type, L"User Choice: " + bare.type + L" - Unable to open command key."},
    };
    for (const auto& row : rows) {
        if (row.progId.empty())
            exts.CreateSubKey(row.key);
        else
            exts.SetValue(L"ProgId", REG_SZ, row.progId.c_str(),
                          static_cast<DWORD>((row.progId.size() + 1) * sizeof(wchar_t)), row.key);
        EXPECT_EQ(RunHandler(FileAssoc, ext), row.line.empty() ? registered : registered + row.line + L"\r\n")
            << Narrow(row.key) << " " << Narrow(row.progId);
    }
    // An extension that only the user's choice knows.
    const std::wstring lone = UniqueName(L".qflone");
    ScopedKey loneKey(HKEY_CURRENT_USER, fileExts + lone, KeyBefore::kReplace);
    loneKey.SetString(L"ProgId", other.type, L"UserChoice");
    EXPECT_EQ(RunHandler(FileAssoc, lone),
              Section(lone, L"Unable to open extension key.") + L"User Choice: " + chosen + L"\r\n");
}

// A packaged app's class has no command line; the shell names its program (Wine's shell has no such
// apps, so the rule is checked here on what Windows gives).
TEST(UserChoiceLine, CommandFriendlyNameOrFailure) {
    const struct {
        UserChoice choice;
        const wchar_t* line;
    } rows[] = {
        {{L"AppXk0g4vb8gvt7b93tg50ybcy892pge6jmt", false, L"Unable to open command key.", L"Photos"},
         L"User Choice: AppXk0g4vb8gvt7b93tg50ybcy892pge6jmt - Photos (no command line)"},
        {{std::wstring(L"A\0B", 3), false, L"", std::wstring(L"N\0M", 3)},
         L"User Choice: A\\0B - N\\0M (no command line)"},
    };
    for (const auto& row : rows) EXPECT_EQ(UserChoiceLine(row.choice), row.line) << Narrow(row.line);
}

}  // namespace
