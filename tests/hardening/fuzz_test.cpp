// Random scripts with hostile payloads, run through the console front end the way automation runs
// it. Every run must end normally with a whole report that holds, in order, what each line of its
// script writes by the language's own rules. QUILLFEN_FUZZ_COUNT and QUILLFEN_FUZZ_SEED choose how
// many scripts and which.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "tests/support/native_keys.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/test_support.h"

namespace {

const wchar_t* const kContexts[] = {L"FILE", L"DIR",     L"REG",     L"FILEFIND", L"FOLDERFIND", L"REGFIND",
                                    L"ENV",  L"PROCESS", L"SERVICE", L"ASSOC",    L"CONTENTS",   L"COMMENT"};

// Names of the scratch folder that Win32 rewrites when it opens them by name, typed as a script would.
const wchar_t* const kOddNames[] = {L"a.", L"b ", L"sub.\\in.txt", L"name \\deep.\\QuillfenFuzz.", L"nul.txt"};

unsigned long EnvNumber(const wchar_t* name, unsigned long fallback) {
    wchar_t value[32] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 32);
    return (length > 0 && length < 32) ? wcstoul(value, nullptr, 10) : fallback;
}

class ScriptGenerator {
public:
    ScriptGenerator(unsigned long seed, const std::wstring& scratch) : rng_(seed), scratch_(scratch) {}

    std::wstring Script() {
        std::wstring script;
        int lines = Pick(1, 14);
        bool expensiveUsed = false;  // at most one whole-drive or whole-hive walk per script
        for (int i = 0; i < lines; ++i) {
            int kind = Pick(0, 9);
            if (kind == 0) {
                script += Chance(50) ? L"::csinfo" : L"::safeboot";
            } else if (kind <= 3) {
                context_ = Pick(0, 11);
                script += L":" + Decorate(kContexts[context_]);
            } else {
                script += Payload(expensiveUsed);
            }
            script += Separator();
        }
        return script;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    template <size_t N>
    const wchar_t* Pick(const wchar_t* const (&choices)[N]) {
        return choices[Pick(0, static_cast<int>(N) - 1)];
    }
    bool Chance(int percent) { return Pick(1, 100) <= percent; }

    std::wstring Separator() {
        static const wchar_t* const kBreaks[] = {L"\r\n", L"\n", L"\r", L"\r\n\r\n", L"\n\r"};
        return kBreaks[Pick(0, 4)];
    }

    // A context keyword in odd dress: case, blanks, tabs, suffixes.
    std::wstring Decorate(std::wstring keyword) {
        for (wchar_t& c : keyword) {
            if (Chance(30)) c = static_cast<wchar_t>(towlower(c));
        }
        switch (Pick(0, 6)) {
            case 0:
                return L"  " + keyword + L"   ";
            case 1:
                return keyword + L"\t";
            case 2:
                return keyword + L":" + keyword;
            case 3:
                return Hostile(Pick(0, 12));
            default:
                return keyword;
        }
    }

    wchar_t HostileChar() {
        static const wchar_t kPool[] = L"%%%//\\\\\\[]\"\"\t  :*?.,;=+-_@#!~`'{}()<>|&^$aZ09\u00e9\u4e2d";
        switch (Pick(0, 19)) {
            case 0:
                return static_cast<wchar_t>(0xD800 + Pick(0, 0x3FF));  // unpaired high surrogate
            case 1:
                return static_cast<wchar_t>(0xDC00 + Pick(0, 0x3FF));  // unpaired low surrogate
            case 2: {                                                  // a control character other than the line breaks
                int c = Pick(1, 0x20);
                return static_cast<wchar_t>(c == 0x20 ? 0x7F : (c == 0x0A || c == 0x0D) ? 0x1B : c);
            }
            case 4:
                return static_cast<wchar_t>(0xFFFF);
            default:
                return kPool[Pick(0, static_cast<int>(wcslen(kPool)) - 1)];
        }
    }

    std::wstring Hostile(int length) {
        std::wstring text;
        for (int i = 0; i < length; ++i) {
            wchar_t c = HostileChar();
            if (c != L'\r' && c != L'\n') text += c;
        }
        return text;
    }

    std::wstring LongPath() {
        std::wstring path = Chance(50) ? scratch_ : L"C:";
        while (path.size() < 40000) path += L"\\" + std::wstring(Pick(1, 200), L'd');
        return path;
    }

    std::wstring OddHive() {
        static const wchar_t* const kHives[] = {
            L"HKLM", L"HKLM\\", L"HKLM\\\\", L"HKLMX", L"hkey_local_machine\\Software\\QuillfenFuzz\\..",
            L"[HKCU\\Software\\QuillfenTests]", L"HKCU\\Software\\QuillfenTests /s /s", L"HKPD", L"HKCC\\",
            L"HKU\\.DEFAULT\\Control Panel\\Desktop", L"HKCR\\.txt /sub", L"\\HKLM", L"[]", L"/s",
            L"HKEY_CURRENT_USER\\Software\\QuillfenTests/s", L"HKCU\\Software\\QuillfenTests\\%PATH%",
            // the fuzz key's link loops and names with NULs
            L"HKCU\\Software\\QuillfenTests\\QuillfenFuzz /s", L"HKCU\\Software\\QuillfenTests\\QuillfenFuzz\\A\\Up /s",
            L"HKCU\\Software\\QuillfenTests\\QuillfenFuzz\\Loop /s",
            L"HKCU\\Software\\QuillfenTests\\QuillfenFuzz\\D\\X\\ToE"};
        return kHives[Pick(0, static_cast<int>(std::size(kHives)) - 1)];
    }

    std::wstring Payload(bool& expensiveUsed) {
        int roll = Pick(0, 9);
        if (roll == 0) return std::wstring(100000, L'A') + Hostile(Pick(0, 20));  // a very long line
        if (roll == 1) return LongPath();
        if (roll == 2) return Hostile(Pick(1, 60));
        switch (context_) {
            case 0:   // FILE
            case 10:  // CONTENTS
                if (Chance(30)) return scratch_ + L"\\" + Pick(kOddNames);
                if (Chance(15)) return Pick(kTypedNotFiles);
                return Chance(50) ? scratch_ + L"\\sample.txt" : scratch_ + L"\\" + Hostile(Pick(0, 20));
            case 1: {  // DIR
                static const wchar_t* const kFolders[] = {L"", L"\\sub.", L"\\name ", L"\\name \\deep."};
                static const wchar_t* const kOptions[] = {L"sub", L"w*", L"wsub*", L"nsub*", L"w*. /sub"};
                return scratch_ + Pick(kFolders) + (Chance(50) ? L"\\ " : L" ") + L"/" +
                       (Chance(30)   ? L"sub"
                        : Chance(30) ? Pick(kOptions)
                                     : Hostile(Pick(0, 10))) +
                       L" /md5 /t" + std::to_wstring(Pick(-40, 4000));
            }
            case 2:  // REG
                return OddHive();
            case 3:  // FILEFIND
            case 4:  // FOLDERFIND
            case 5:  // REGFIND: whole-drive and whole-hive walks are slow, so one per script at most
                if (expensiveUsed) return Hostile(Pick(1, 20));
                expensiveUsed = true;
                return L"QuillfenFuzz" + Hostile(Pick(0, 6));
            case 6:  // ENV
                return L"%" + Hostile(Pick(0, 10)) + L"%PATH%%%" + Hostile(Pick(0, 10));
            case 7:  // PROCESS
                return Chance(50) ? L" quillfen-cli.exe " : Hostile(Pick(0, 30)) + L".exe";
            case 8:  // SERVICE
                return Chance(50) ? L"RpcSs" : Hostile(Pick(0, 30));
            case 9:  // ASSOC
                return Chance(50) ? L".txt" : L"." + Hostile(Pick(0, 10));
            default:
                return Hostile(Pick(0, 40));
        }
    }

    std::mt19937 rng_;
    std::wstring scratch_;
    int context_ = 0;
};

// Case folded as the language compares keywords: a to z only.
std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

// What the script's lines write by the language's rules, in order: each context line's banner (or
// its "Invalid Context" line), the one-shot commands' headings, "No Context" lines, and the start of
// each ENV line. What the other contexts' handlers write about their lines lies between these.
std::vector<std::wstring> ExpectedPieces(const std::wstring& script) {
    std::vector<std::wstring> pieces;
    std::wstring context;  // upper-case keyword; empty: none
    size_t at = 0;
    while (at < script.size()) {
        const size_t end = std::min(script.find_first_of(L"\r\n", at), script.size());
        const std::wstring line = script.substr(at, end - at);
        at = end == script.size() ? end : script.find_first_not_of(L"\r\n", end);
        if (at == std::wstring::npos) at = script.size();
        if (line.empty()) continue;
        if (line.starts_with(L"::")) {
            const std::wstring command = Upper(line.substr(2));
            if (command == L"CSINFO") pieces.push_back(L"\r\n========== ControlSet Info ==========\r\n");
            if (command == L"SAFEBOOT") pieces.push_back(L"\r\n========== SafeBoot Info ==========\r\n");
        } else if (line[0] == L':') {
            std::wstring typed = line.substr(1);
            while (!typed.empty() && typed.back() == L' ') typed.pop_back();
            const std::wstring keyword = Upper(typed.substr(std::min(typed.find_first_not_of(L' '), typed.size())));
            context = std::find(std::begin(kContexts), std::end(kContexts), keyword) != std::end(kContexts)
                          ? keyword
                          : std::wstring();
            if (context.empty()) {
                pieces.push_back(L"\r\nInvalid Context: " + typed + L"\r\n");
            } else if (context != L"COMMENT") {
                pieces.push_back(Banner(typed));
            }
        } else if (context.empty()) {
            pieces.push_back(L"\r\nNo Context: " + line + L"\r\n");
        } else if (context == L"ENV") {
            pieces.push_back(line + L" = ");
        }
    }
    return pieces;
}

TEST(Hardening, RandomScriptsAlwaysGiveAWholeReport) {
    // Some 0.3 to 0.5 s a script here: the case stays well within the watchdog's bound on a busy machine.
    const unsigned long count = EnvNumber(L"QUILLFEN_FUZZ_COUNT", 80);
    const unsigned long seed = EnvNumber(L"QUILLFEN_FUZZ_SEED", 20261208);

    ScratchFolder folder;
    WriteFileBytes(folder / L"sample.txt",
                   "sample\r\ntext\x1a"
                   "after");
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    WriteFileBytes(folder / L"sub\\inner.bin", std::string(70000, '\xAB'));
    TestKey key(L"QuillfenFuzz");
    key.SetString(L"QuillfenFuzz \"quoted\"", L"value [with] %brackets%");
    const BYTE odd[] = {1, 2, 3};
    key.SetValue(L"odd dword", REG_DWORD, odd, sizeof odd);
    key.SetValue(L"multi without end", REG_MULTI_SZ, L"a\0b", 6);
    NativeKeys native(key);
    MakeLinkLoops(key, native, L"QuillfenFuzz ");
    native.SetString(key.key(), std::wstring(L"\0QuillfenFuzz", 13), L"hidden");
    HKEY hidden = native.CreateKey(key.key(), std::wstring(L"\0k", 2));
    if (hidden != nullptr) native.SetValue(hidden, std::wstring(L"odd\0", 4), REG_SZ, "Q\0F", 3);

    // Names Win32 would rewrite or open as devices, made from the Linux side: the walks (DIR, FILEFIND,
    // FOLDERFIND) list and digest them.
    LinuxEntries oddNames{folder.path(),
                          {{"a.", "dot"},
                           {"b ", "blank"},
                           {"com1.log", "device"},
                           {"con", "device"},
                           {"nul.txt", "device"},
                           {"sub./", ""},
                           {"sub./in.txt", "in"},
                           {"sub./lpt1", "device"},
                           {"name /", ""},
                           {"name /deep./", ""},
                           {"name /deep./QuillfenFuzz.", "fuzz"},
                           {"name /QuillfenFuzzFolder /", ""}}};
    ASSERT_TRUE(oddNames.made());

    ScriptGenerator generator(seed, folder.path());
    const std::wstring report = folder / L"report.txt";
    for (unsigned long ran = 0; ran < count; ++ran) {
        std::wstring script = generator.Script();
        DeleteFileW(report.c_str());
        ProcessResult run = RunCliScript(folder, script, report, L"");
        std::string where = "script " + std::to_string(ran) + " (seed " + std::to_string(seed) + ")";
        ASSERT_FALSE(run.timedOut) << where << " hung";
        ASSERT_EQ(run.exitCode, 0u) << where << ": " << run.err;
        std::string bytes = ReadFileBytes(report);
        ASSERT_EQ(bytes.size() % 2, 0u) << where;
        std::wstring text = ReadUtf16File(report);
        ASSERT_TRUE(text.starts_with(kHeaderStart)) << where;
        ASSERT_TRUE(text.ends_with(kEndOfFile)) << where;
        size_t found = 0;
        for (const std::wstring& piece : ExpectedPieces(script)) {
            const size_t at = text.find(piece, found);
            ASSERT_NE(at, std::wstring::npos)
                << where << ": the report lacks, after character " << found << ", " << Narrow(piece.substr(0, 200));
            found = at + piece.size();
        }
    }
}

}  // namespace
