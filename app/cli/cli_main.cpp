// quillfen-cli: the console front end. Runs one script through the same scan as the window.
//
//   quillfen-cli.exe [--out REPORT] [--open] [--quiet] [--threads N] SCRIPT   (SCRIPT may be -: standard input)
//
// Standard output gets the report's path and nothing else; progress and errors go to standard error,
// each error on one line. A desktop that refuses the report sends it to the temporary folder (a line on
// standard error says so); a report that --out names never moves. Exit status: 0 report written (or
// help or version shown), 1 report not created or incomplete, 2 usage error, unreadable script, or a
// report path naming the script.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/scan/scan.h"
#include "app/scan/script_file.h"
#include "report/create_log.h"
#include "util/output_text.h"
#include "util/path_forms.h"
#include "util/work_pool.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoReport = 1;
constexpr int kExitUsage = 2;

const wchar_t kUsage[] =
    L"usage: quillfen-cli.exe [--out REPORT] [--open] [--quiet] [--threads N] SCRIPT\n"
    L"       quillfen-cli.exe --help | --version\n"
    L"  SCRIPT          a script file (UTF-16, UTF-8 or the ANSI code page), or - for standard input\n"
    L"  --out REPORT    write the report there instead of the desktop (also --out=REPORT)\n"
    L"  --open          open the finished report in Notepad\n"
    L"  --quiet         no progress lines\n"
    L"  --threads N     share the work between N threads (1 to 8; 1: all on one thread); the default is\n"
    L"                  two per core the process may use, at most 4 (1 on one core)\n"
    L"  --help, -h, /?  show this text; --version shows the program's name and version\n"
    L"Standard output gets the report's path only; progress and errors go to standard error.\n"
    L"Exit status: 0 report written, 1 report not created or incomplete, 2 usage error, unreadable script\n"
    L"or a report path naming the script itself.\n";
// The build passes the project's version (CMakeLists.txt) as QUILLFEN_VERSION.
const wchar_t kVersionLine[] = L"quillfen-cli " QUILLFEN_VERSION "\n";
const wchar_t kSeeHelp[] = L" (--help shows the usage)";
const wchar_t kEmptyScript[] = L"the script is empty; no report was written";

// Writes to a console as wide text; redirected, in the bytes that whoever captures it decodes.
void WriteText(DWORD stdHandle, const std::wstring& text) {
    HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    const bool redirected = !GetConsoleMode(handle, &mode);
    const UINT consoleCodePage = GetConsoleOutputCP();  // 0 without a console
    const TextEncoding encoding = ChooseTextEncoding(consoleCodePage != 0, redirected, consoleCodePage);
    if (encoding.form == TextForm::Console) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = EncodeText(text, encoding);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Error(const std::wstring& message) { WriteText(STD_ERROR_HANDLE, L"quillfen-cli: " + message + L"\n"); }

// ": " and the system's reason, or nothing when it gave none.
std::wstring Because(unsigned long error) { return error != 0 ? L": " + SystemErrorText(error) : std::wstring(); }

std::wstring Because(const ScriptProblem& problem) {
    return problem.refusal != nullptr ? std::wstring(L": ") + problem.refusal : Because(problem.systemError);
}

// `context` holds when the last progress line went out (GetTickCount64).
void ReportProgress(size_t lineNumber, size_t lineCount, const wchar_t* line, void* context) {
    ULONGLONG& lastShown = *static_cast<ULONGLONG*>(context);
    const ULONGLONG now = GetTickCount64();
    if (!ShowsProgress(lineNumber, lineCount, now, lastShown)) return;
    lastShown = now;
    constexpr size_t kShown = 70;
    std::wstring shown(line, wcsnlen(line, kShown + 1));
    if (shown.size() > kShown) shown = shown.substr(0, kShown) + L"...";
    WriteText(STD_ERROR_HANDLE,
              L"line " + std::to_wstring(lineNumber) + L" of " + std::to_wstring(lineCount) + L": " + shown + L"\n");
}

enum class Request { Scan, Help, Version, Bad };

struct Arguments {
    const wchar_t* script = nullptr;
    std::wstring out;
    bool open = false;
    bool quiet = false;
    unsigned threads = 0;  // from the cores
};

// A thread count as --threads takes it: digits only, 1 to kMostPoolThreads.
bool ParseThreadCount(const wchar_t* text, unsigned& count) {
    if (text[0] == L'\0' || wcsspn(text, L"0123456789") != wcslen(text) || wcslen(text) > 3) return false;
    const unsigned long value = wcstoul(text, nullptr, 10);
    if (value < 1 || value > kMostPoolThreads) return false;
    count = static_cast<unsigned>(value);
    return true;
}

bool IsHelp(const wchar_t* arg) {
    return wcscmp(arg, L"--help") == 0 || wcscmp(arg, L"-h") == 0 || wcscmp(arg, L"/?") == 0;
}

// Options may come before or after the script; after "--" every argument is the script. Help and
// version win over everything else on the line, help first.
Request ParseArguments(int argc, wchar_t** argv, Arguments& args) {
    bool version = false;
    for (int i = 1; i < argc && wcscmp(argv[i], L"--") != 0; ++i) {
        if (IsHelp(argv[i])) return Request::Help;
        if (wcscmp(argv[i], L"--version") == 0) version = true;
    }
    if (version) return Request::Version;

    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (!optionsEnded && wcscmp(arg, L"--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && wcscmp(arg, L"--open") == 0) {
            args.open = true;
        } else if (!optionsEnded && wcscmp(arg, L"--quiet") == 0) {
            args.quiet = true;
        } else if (!optionsEnded && (wcscmp(arg, L"--out") == 0 || wcsncmp(arg, L"--out=", 6) == 0)) {
            const bool joined = arg[5] == L'=';
            const wchar_t* value = joined ? arg + 6 : (i + 1 < argc ? argv[++i] : L"");
            // "--out --quiet x" forgot the path: an option after --out is never taken as the report
            // (a path that starts with a dash can still be given as --out=PATH).
            if (value[0] == L'\0' || (!joined && value[0] == L'-')) {
                Error(std::wstring(L"--out needs a report path") + kSeeHelp);
                return Request::Bad;
            }
            args.out = value;
        } else if (!optionsEnded && (wcscmp(arg, L"--threads") == 0 || wcsncmp(arg, L"--threads=", 10) == 0)) {
            const wchar_t* value = arg[9] == L'=' ? arg + 10 : (i + 1 < argc ? argv[++i] : L"");
            if (!ParseThreadCount(value, args.threads)) {
                Error(L"--threads needs a count from 1 to " + std::to_wstring(kMostPoolThreads) + kSeeHelp);
                return Request::Bad;
            }
        } else if (!optionsEnded && arg[0] == L'-' && arg[1] != L'\0') {
            Error(std::wstring(L"unknown option ") + arg + kSeeHelp);
            return Request::Bad;
        } else if (args.script == nullptr) {
            args.script = arg;
        } else {
            Error(std::wstring(L"only one script may be given; unexpected ") + arg + kSeeHelp);
            return Request::Bad;
        }
    }
    if (args.script == nullptr || args.script[0] == L'\0') {
        Error(std::wstring(L"no script given") + kSeeHelp);
        return Request::Bad;
    }
    return Request::Scan;
}

// Reads the script `name` names: a file, or standard input for "-". False once it has said why not.
bool ReadScript(const wchar_t* name, std::wstring& script) {
    ScriptProblem problem;
    if (wcscmp(name, L"-") == 0) {
        if (ReadScriptHandle(GetStdHandle(STD_INPUT_HANDLE), script, problem)) return true;
        Error(L"cannot read the script from standard input" + Because(problem));
        return false;
    }
    if (ReadScriptFile(name, script, problem)) return true;
    Error(std::wstring(L"cannot read script \"") + name + L"\"" + Because(problem));
    return false;
}

// Runs the scan of `script` as the arguments ask, after saying when it runs without elevation.
ScanOutcome Scan(const Arguments& args, std::wstring& script, ScanResult& result) {
    // A --out path is made full by the rule every path follows (a \\?\ or \??\ path stays as typed).
    const std::wstring reportPath = args.out.empty() ? std::wstring() : FullPathOf(args.out.c_str());
    DWORD elevated = 0;
    const bool queried = QueryProcessElevation(elevated);
    if (const wchar_t* notice = ElevationNotice(queried, elevated)) Error(notice);

    ScanOptions options;
    options.reportPath = args.out.empty() ? nullptr : reportPath.c_str();
    // However the paths are spelt, and wherever the report goes, the script is never overwritten by it.
    options.scriptPath = wcscmp(args.script, L"-") != 0 ? args.script : nullptr;
    options.observer = args.quiet ? nullptr : ReportProgress;
    ULONGLONG progressShown = 0;
    options.observerContext = &progressShown;
    options.threads = args.threads;
    return RunScan(script.data(), options, &result);
}

// Tells how the scan ended (and opens the report when `open` asks for it); returns the exit status.
int Conclude(ScanOutcome outcome, const ScanResult& result, bool open) {
    switch (outcome) {
        case ScanOutcome::Completed:
            if (result.desktopRefusal != 0) {
                Error(L"the desktop refused the report (" + SystemErrorText(result.desktopRefusal) +
                      L"); it was written to the temporary folder instead: " + result.reportPath);
            }
            if (open) {
                // The report is there all the same: the exit status stays that of a written report.
                if (const unsigned long failure = OpenLogAt(result.reportPath.c_str())) {
                    Error(L"Notepad could not be started to open the report" + Because(failure));
                }
            }
            WriteText(STD_OUTPUT_HANDLE, result.reportPath + L"\n");
            return kExitDone;
        case ScanOutcome::ReportNotCreated:
            if (result.reportPath.empty()) {
                Error(L"cannot create the report: the desktop folder is not recorded for this user");
            } else {
                Error(L"cannot create the report \"" + result.reportPath + L"\"" + Because(result.systemError));
            }
            return kExitNoReport;
        case ScanOutcome::ReportIsScript:
            Error(L"the report \"" + result.reportPath + L"\" is the script itself; name another report with --out");
            return kExitUsage;
        case ScanOutcome::ReportIncomplete:
            Error(L"the report \"" + result.reportPath + L"\" is incomplete: part of it could not be written" +
                  Because(result.systemError));
            return kExitNoReport;
        case ScanOutcome::EmptyScript:
            break;
    }
    Error(kEmptyScript);
    return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Arguments args;
    switch (ParseArguments(argc, argv, args)) {
        case Request::Help:
            WriteText(STD_OUTPUT_HANDLE, kUsage);
            return kExitDone;
        case Request::Version:
            WriteText(STD_OUTPUT_HANDLE, kVersionLine);
            return kExitDone;
        case Request::Bad:
            return kExitUsage;
        case Request::Scan:
            break;
    }
    std::wstring script;
    if (!ReadScript(args.script, script)) return kExitUsage;
    if (script.empty()) {
        Error(kEmptyScript);
        return kExitUsage;
    }
    ScanResult result;
    return Conclude(Scan(args, script, result), result, args.open);
}
