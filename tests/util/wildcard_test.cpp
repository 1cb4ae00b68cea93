#include "util/wildcard.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "util/handles.h"

namespace {

// The names FindFirstFileW is asked about: dots, trailing dots and blanks, several dots, blanks,
// names longer than their short form, names without an extension, letters beyond ASCII.
const wchar_t* const kNames[] = {
    L"a",
    L"ab",
    L"abc",
    L"a.txt",
    L"ab.txt",
    L"abc.txt",
    L"abcd.txt",
    L"a.b.c",
    L"readme",
    L"READ.ME",
    L"x.tar.gz",
    L"longfilename.html",
    L"longfile.htm",
    L"Long File Name.text",
    L"name with blanks.txt",
    L".hidden",
    L"..double",
    L"trail.",
    L"trail2..",
    L"trailblank ",
    L"\u00fcmlaut.TXT",
    L"\u00dcMLAUT2.txt",
    L"stra\u00dfe.doc",
    L"\u00ffes.txt",
    L"\u03a9mega.txt",
    L"1.2.3.4",
    L"8char123.abc",
    L"ninechars.abc",
    L"ext.toolong",
    L"b.",
    L"c..d",
};

const wchar_t* const kPatterns[] = {
    L"*",
    L"*.*",
    L"*.",
    L".*",
    L"?",
    L"??",
    L"???",
    L"a?",
    L"a??",
    L"?.txt",
    L"??.txt",
    L"a*",
    L"*a",
    L"*.txt",
    L"*.TXT",
    L"*.htm",
    L"*.ht?",
    L"*.?",
    L"*.??",
    L"*.???",
    L"a.*",
    L"*.*.*",
    L"*.b*",
    L"*~*",
    L"*1*",
    L"long*",
    L"read*.*",
    L"*.me",
    L"*me",
    L"trail.",
    L"trail",
    L"trail*",
    L"trail?",
    L"name with*",
    L"* *",
    L"\u00fc*",
    L"\u00dc*",
    L"*\u00df*",
    L"\u0178*",
    L"\u03c9*",
    L"*.gz",
    L"x.*",
    L"x.tar.*",
    L"a.?",
    L"a.??",
    L"?????.*",
    L"????????.???",
    L"*.t*",
    L"b.*",
    L"c.*",
    L"*..*",
    L"*.*.",
    L"abc.",
    L"abc. ",
    L"<",
    L">",
    L"a>",
    L"*\"txt",
    L"<.txt",
    L"*. ",
    L"LONG~2HU.HTM",
    L"_MLA*",
    L"*.TEX",
    L"*.text",
    L"a*.*",
    L"*.*b",
    L"x.tar",
    L"*a*.txt",
    L"*.*x",
    L"* ",
    L"READ.ME",
    L"abc.TXT",
};

struct Entry {
    std::wstring longName, shortName;
};

std::vector<Entry> ListFolder(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
    if (!find) return entries;
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
        entries.push_back({data.cFileName, data.cAlternateFileName});
    } while (FindNextFileW(find.get(), &data));
    return entries;
}

// The names of kNames made in `folder` (through \\?\ so that trailing dots and blanks stay), as a
// `*` enumeration lists them with their short names.
std::vector<Entry> MakeEntries(const ScratchFolder& folder) {
    for (const wchar_t* name : kNames) {
        std::wstring path(L"\\\\?\\");
        path += folder / name;
        FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        EXPECT_TRUE(file) << Narrow(name);
    }
    std::vector<Entry> entries = ListFolder(folder.path(), L"*");
    EXPECT_EQ(entries.size(), std::size(kNames));
    return entries;
}

std::string Join(const std::set<std::wstring>& names) {
    std::string text;
    for (const auto& name : names) {
        text += '[';
        text += Narrow(name);
        text += "] ";
    }
    return text;
}

// Windows's results, from the documented translation and matching (Wine's FindFirstFileW does not
// translate, so these shapes cannot be seen here).
TEST(Wildcard, WindowsTranslationAndMatching) {
    struct Row {
        const wchar_t* pattern;
        const wchar_t* expression;
    } translations[] = {
        {L"*", L"*"},        {L"*.*", L"*"},    {L"*.", L"<"},          {L"*.txt", L"<.txt"}, {L"a?", L"a>"},
        {L"a.*", L"a\"*"},   {L"a.?", L"a\">"}, {L"*.*.*", L"<\"<\"*"}, {L"abc. ", L"abc"},   {L"read*.*", L"read<\"*"},
        {L"*..*", L"<.\"*"}, {L"*.*.", L"*"},
    };
    for (const Row& row : translations)
        EXPECT_EQ(Narrow(TranslateFindPattern(row.pattern)), Narrow(row.expression)) << Narrow(row.pattern);

    struct Case {
        const wchar_t* pattern;
        const wchar_t* longName;
        const wchar_t* shortName;
        bool matches;
    } cases[] = {
        {L"*.", L"readme", L"", true},  // names without a dot
        {L"*.", L"read.me", L"", false},
        {L"??", L"a", L"", true},          // DOS_QM matches nothing at the end of the name
        {L"??.txt", L"a.txt", L"", true},  // ... and before a dot
        {L"??.txt", L"abc.txt", L"", false},
        {L"*.?", L"abc", L"", true},  // DOS_DOT matches nothing at the end
        {L"*.?", L"abc.de", L"", false},
        {L"a.*", L"a", L"", true},
        {L"foo??.*", L"foo1", L"", true},
        {L"foo??.*", L"foo123.txt", L"", false},
        {L"*.htm", L"page.html", L"PAGE~1.HTM", true},  // through the short name
        {L"*.htm", L"page.html", L"", false},
        {L"*1", L"LongFile name", L"LONGFI~1", true},
        {L"<", L"a.b", L"", false},  // DOS_STAR never takes the last dot
        {L"<.b", L"a.x.b", L"", true},
        {L"\u00dc*", L"\u00fcmlaut.txt", L"", true},  // upper-casing beyond ASCII
        {L"\u0178*", L"\u00ffes.txt", L"", true},
        {L"\u03c9*", L"\u03a9mega.txt", L"", true},
        {L"STRASSE*", L"stra\u00dfe.doc", L"", false},  // one character for one: no expansion of sharp s
        {L"", L"a", L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesFindPattern(c.pattern, c.longName, c.shortName), c.matches)
            << Narrow(c.pattern) << " on " << Narrow(c.longName) << " / " << Narrow(c.shortName);
    }
}

// The whole match against FindFirstFileW, pattern by pattern: on every plain pattern the names it
// returns are the names the function accepts. The other shapes match as on Windows (the table above);
// where the platform here matches them otherwise, that is shown, not judged: Wine matches `*` and `?`
// plainly and ignores a mask's trailing dots and stars.
TEST(Wildcard, FindFirstFileReturnsWhatTheFunctionAcceptsOnPlainPatterns) {
    ScratchFolder folder;
    std::vector<Entry> entries = MakeEntries(folder);
    int plain = 0;
    for (const wchar_t* pattern : kPatterns) {
        std::set<std::wstring> platform, ours;
        for (const auto& e : ListFolder(folder.path(), pattern)) platform.insert(e.longName);
        for (const auto& e : entries) {
            if (MatchesFindPattern(pattern, e.longName, e.shortName)) ours.insert(e.longName);
        }
        if (IsPlainFindPattern(pattern)) {
            ++plain;
            EXPECT_EQ(platform, ours) << Narrow(pattern) << "\n platform: " << Join(platform)
                                      << "\n ours: " << Join(ours);
        } else if (platform != ours) {
            std::printf("%s matches otherwise here than on Windows\n platform: %s\n ours: %s\n",
                        Narrow(pattern).c_str(), Join(platform).c_str(), Join(ours).c_str());
        }
    }
    EXPECT_GE(plain, 10) << "the table has too few plain patterns to show the platform agrees";
}

}  // namespace
