// quillfen-cli: the console front end. Runs one script through the same scan as the window.
//
//   quillfen-cli.exe [--out REPORT] [--open] SCRIPT      (SCRIPT may be - for standard input)
//
// Standard output gets the report's path and nothing else; progress and errors go to standard error.
// Exit status: 0 report written, 1 report not created, 2 usage error or unreadable script.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/scan/scan.h"
#include "app/scan/script_file.h"
#include "report/create_log.h"
#include "util/owned.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoReport = 1;
constexpr int kExitUsage = 2;

const wchar_t kUsage[] =
    L"usage: quillfen-cli.exe [--out REPORT] [--open] SCRIPT   (SCRIPT may be - for standard input)";

// Writes to a console as wide text and to a file or pipe as UTF-8.
void WriteText(DWORD stdHandle, const std::wstring& text) {
    HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Error(const std::wstring& message) { WriteText(STD_ERROR_HANDLE, L"quillfen-cli: " + message + L"\n"); }

std::wstring SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length ? std::wstring(buffer, length) : L"error " + std::to_wstring(error);
    LocalFree(buffer);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message;
}

std::wstring FullPath(const wchar_t* path) {
    DWORD length = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(path, length, full.data(), nullptr);
    full.resize(length);
    return full;
}

void ReportProgress(size_t lineNumber, size_t lineCount, const wchar_t* line, void*) {
    constexpr size_t kShown = 70;
    std::wstring shown(line, wcsnlen(line, kShown + 1));
    if (shown.size() > kShown) shown = shown.substr(0, kShown) + L"...";
    WriteText(STD_ERROR_HANDLE,
              L"line " + std::to_wstring(lineNumber) + L" of " + std::to_wstring(lineCount) + L": " + shown + L"\n");
}

struct Arguments {
    const wchar_t* script = nullptr;
    const wchar_t* out = nullptr;
    bool open = false;
};

bool ParseArguments(int argc, wchar_t** argv, Arguments& args) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (!optionsEnded && wcscmp(arg, L"--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && wcscmp(arg, L"--open") == 0) {
            args.open = true;
        } else if (!optionsEnded && wcscmp(arg, L"--out") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == L'\0') {
                Error(L"--out needs a report path");
                return false;
            }
            args.out = argv[++i];
        } else if (!optionsEnded && arg[0] == L'-' && arg[1] != L'\0') {
            Error(std::wstring(L"unknown option ") + arg);
            return false;
        } else if (args.script == nullptr) {
            args.script = arg;
        } else {
            Error(std::wstring(L"only one script may be given; unexpected ") + arg);
            return false;
        }
    }
    if (args.script == nullptr || args.script[0] == L'\0') {
        Error(L"no script given");
        return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && (wcscmp(argv[1], L"--help") == 0 || wcscmp(argv[1], L"-h") == 0)) {
        WriteText(STD_OUTPUT_HANDLE, std::wstring(kUsage) + L"\n");
        return kExitDone;
    }
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        WriteText(STD_ERROR_HANDLE, std::wstring(kUsage) + L"\n");
        return kExitUsage;
    }

    std::wstring script;
    if (wcscmp(args.script, L"-") == 0) {
        _setmode(_fileno(stdin), _O_BINARY);
        if (!ReadScriptStream(stdin, script)) {
            Error(L"cannot read the script from standard input");
            return kExitUsage;
        }
    } else {
        unsigned long error = 0;
        if (!ReadScriptFile(args.script, script, error)) {
            Error(std::wstring(L"cannot read script \"") + args.script + L"\": " + SystemMessage(error));
            return kExitUsage;
        }
    }
    if (script.empty()) {
        Error(L"the script is empty; no report was written");
        return kExitUsage;
    }

    std::wstring reportPath;
    if (args.out != nullptr) {
        reportPath = FullPath(args.out);
    } else {
        OwnedText desktopReport(GetReportPath());
        if (!desktopReport) {
            Error(L"cannot create the report: the desktop folder is not recorded for this user");
            return kExitNoReport;
        }
        reportPath = desktopReport.get();
    }

    ScanOptions options;
    options.reportPath = reportPath.c_str();
    options.openReport = args.open;
    options.observer = ReportProgress;
    switch (RunScan(script.data(), options)) {
        case ScanOutcome::Completed:
            WriteText(STD_OUTPUT_HANDLE, reportPath + L"\n");
            return kExitDone;
        case ScanOutcome::ReportNotCreated:
            Error(L"cannot create the report \"" + reportPath + L"\"");
            return kExitNoReport;
        case ScanOutcome::EmptyScript:
            break;
    }
    Error(L"the script is empty; no report was written");
    return kExitUsage;
}
