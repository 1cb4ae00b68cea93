#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "util/system_error.h"
#include "util/test_hooks.h"

namespace {

std::wstring TempRoot() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring root(buffer, length);
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    return root;
}

std::string ReadAll(HANDLE pipe) {
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    return bytes;
}

}  // namespace

ScratchFolder::ScratchFolder() {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        path_ = TempRoot() + L"\\quillfen-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter++);
        if (CreateDirectoryW(path_.c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create scratch folder " << Narrow(path_);
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::wstring& root) {
    // Post-order removal with an explicit stack, so depth is no problem.
    struct Frame {
        std::wstring path;
        bool expanded;
    };
    std::vector<Frame> stack{{root, false}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.expanded) {
            std::wstring path = frame.path;
            stack.pop_back();
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            RemoveDirectoryW(path.c_str());
            continue;
        }
        frame.expanded = true;
        std::wstring folder = frame.path;
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            bool isFolder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
            bool isLink = entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            if (isFolder && !isLink) {
                stack.push_back({path, false});
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (isFolder) {
                    RemoveDirectoryW(path.c_str());
                } else {
                    DeleteFileW(path.c_str());
                }
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr) << "cannot write " << Narrow(path);
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << Narrow(path);
        return bytes;
    }
    char chunk[64 * 1024];
    size_t read;
    while ((read = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, read);
    fclose(file);
    return bytes;
}

std::wstring ReadUtf16File(const std::wstring& path) {
    std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.size() % 2, 0u) << "odd byte count in " << Narrow(path);
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

std::wstring AsTextModeReadsIt(const std::wstring& path) {
    std::wstring shown;
    FILE* file = _wfopen(path.c_str(), L"r");
    if (file == nullptr) return L"<cannot read " + path + L">";
    for (int c; (c = fgetc(file)) != EOF;) {
        if (c != 0) shown += static_cast<wchar_t>(c);
    }
    fclose(file);
    return shown;
}

std::wstring TextSoFar(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char chunk[64 * 1024];
    DWORD read = 0;
    while (file && ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

std::wstring CaptureReport(const std::function<void(FILE* report)>& write) {
    ScratchFolder folder;
    std::wstring path = folder / L"report.txt";
    FILE* report = _wfopen(path.c_str(), L"wb");
    if (report == nullptr) {
        ADD_FAILURE() << "cannot create " << Narrow(path);
        return {};
    }
    write(report);
    fclose(report);
    return ReadUtf16File(path);
}

std::wstring ExecutableFolder() {
    wchar_t buffer[32768] = {};
    DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    std::wstring path(buffer, length);
    return path.substr(0, path.find_last_of(L'\\'));
}

namespace {

// RunProcess, with `input` fed through a pipe when `given` is INVALID_HANDLE_VALUE, else with `given`
// itself (null: none) as the child's standard input; ended once `ready` holds when there is one.
ProcessResult RunWithInput(const std::wstring& commandLine, const std::string& input, HANDLE given, Overrun overrun,
                           const std::function<bool()>& ready = nullptr) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead, outWrite, errRead, errWrite;
    const bool piped = given == INVALID_HANDLE_VALUE;
    if (piped) {
        CreatePipe(&inRead, &inWrite, &inherit, 0);
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    } else if (given != nullptr) {
        SetHandleInformation(given, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = piped ? inRead : given;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    BOOL started = FALSE;
    DWORD error = 0;
    // A start was once refused in CI with the machine under load; try again before calling it a failure.
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) {
            std::fprintf(stderr, "starting %s failed with error %lu; trying again\n", Narrow(commandLine).c_str(),
                         error);
            Sleep(500);
        }
        line = commandLine;
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
        if (!started) error = GetLastError();
    }
    if (piped) CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        ADD_FAILURE() << "cannot start " << Narrow(commandLine) << ": error " << error;
        if (piped) CloseHandle(inWrite);
        CloseHandle(outRead);
        CloseHandle(errRead);
        result.exitCode = ~0u;
        return result;
    }
    // Feed standard input and drain both outputs at once, so no pipe can fill up and stall the child.
    std::thread feeder([&] {
        DWORD written = 0;
        if (!piped) return;
        if (!input.empty()) WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
        CloseHandle(inWrite);
    });
    std::thread errReader([&] { result.err = ReadAll(errRead); });
    std::thread outReader([&] { result.out = ReadAll(outRead); });
    DWORD waited = WAIT_TIMEOUT;
    if (ready) {
        const ULONGLONG end = GetTickCount64() + kHangBoundMs;
        while ((waited = WaitForSingleObject(process.hProcess, 10)) == WAIT_TIMEOUT && GetTickCount64() < end) {
            if (!ready()) continue;
            result.interrupted = true;
            TerminateProcess(process.hProcess, ~0u);
            WaitForSingleObject(process.hProcess, INFINITE);
            break;
        }
    } else {
        waited = WaitForSingleObject(process.hProcess, kHangBoundMs);
    }
    if (waited == WAIT_TIMEOUT && !result.interrupted) {
        result.timedOut = true;
        TerminateProcess(process.hProcess, ~0u);
        WaitForSingleObject(process.hProcess, INFINITE);
        if (overrun == Overrun::Fails) {
            ADD_FAILURE() << "still running after " << kHangBoundMs << " ms, so ended: " << Narrow(commandLine);
        }
    }
    outReader.join();
    errReader.join();
    feeder.join();
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const std::string& input, Overrun overrun) {
    return RunWithInput(commandLine, input, INVALID_HANDLE_VALUE, overrun);
}

ProcessResult RunProcessUntil(const std::wstring& commandLine, const std::function<bool()>& ready,
                              const std::string& awaited) {
    ProcessResult result = RunWithInput(commandLine, {}, INVALID_HANDLE_VALUE, Overrun::Expected, ready);
    if (result.timedOut) {
        ADD_FAILURE() << "still running after " << kHangBoundMs << " ms without " << awaited << ": "
                      << Narrow(commandLine);
    } else if (!result.interrupted) {
        ADD_FAILURE() << "ended by itself (exit code " << result.exitCode << ") before " << awaited << ": "
                      << Narrow(commandLine);
    }
    return result;
}

ProcessResult RunProcessWithInputHandle(const std::wstring& commandLine, HANDLE standardInput) {
    return RunWithInput(commandLine, {}, standardInput, Overrun::Fails);
}

std::wstring Cli(const std::wstring& arguments) {
    return L"\"" + ExecutableFolder() + L"\\quillfen-cli.exe\" " + arguments;
}

ProcessResult RunCliScript(const ScratchFolder& folder, const std::wstring& script, const std::wstring& report,
                           const std::wstring& options, Overrun overrun) {
    WriteFileBytes(folder / L"script.txt", Utf16WithMark(script));
    const std::wstring arguments = L"--out \"" + report + L"\" \"" + (folder / L"script.txt") + L"\"";
    return RunProcess(Cli(options.empty() ? arguments : options + L" " + arguments), {}, overrun);
}

std::string Utf16Bytes(const std::wstring& text, bool bigEndian) {
    std::string bytes;
    for (wchar_t c : text) {
        const char low = static_cast<char>(c & 0xFF);
        const char high = static_cast<char>(c >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string Utf16WithMark(const std::wstring& text) { return "\xFF\xFE" + Utf16Bytes(text); }

const std::vector<EncodedScript>& EncodedScripts() {
    using E = ScriptEncoding;
    static const std::vector<EncodedScript> rows = [] {
        const std::wstring text = L":ENV\r\ncaf\u00e9 \u20ac";
        const std::string utf8 = ":ENV\r\ncaf\xC3\xA9 \xE2\x82\xAC";
        const std::string ansi = ":ENV\r\ncaf\xE9";
        wchar_t eAcute = 0;  // what the ANSI code page makes of the byte
        MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, &eAcute, 1);
        const std::wstring ansiText = std::wstring(L":ENV\r\ncaf") + eAcute;
        std::string marked16le = "\xFF\xFE", marked16be = "\xFE\xFF", marked8 = "\xEF\xBB\xBF";
        // Lines without an ASCII letter or a context: only their line ends tell UTF-16 from 8-bit.
        const std::wstring cjk = L"\u6587\u4ef6\u5939\r\n\u540d\u79f0\u3002\r\n";
        const std::wstring nulFirst = std::wstring(1, L'\0') + text;
        return std::vector<EncodedScript>{
            {"utf16le with mark", marked16le + Utf16Bytes(text), E::Utf16Le, text},
            {"utf16le without mark", Utf16Bytes(text), E::Utf16Le, text},
            {"utf16be with mark", marked16be + Utf16Bytes(text, true), E::Utf16Be, text},
            {"utf16be without mark", Utf16Bytes(text, true), E::Utf16Be, text},
            {"utf8 with mark", marked8 + utf8, E::Utf8OrAnsi, text},
            {"utf8 without mark, bare line feeds", ":ENV\ncaf\xC3\xA9 \xE2\x82\xAC", E::Utf8OrAnsi,
             L":ENV\ncaf\u00e9 \u20ac"},
            {"ansi", ansi, E::Utf8OrAnsi, ansiText},
            {"utf16le without mark, no ASCII letters", Utf16Bytes(cjk), E::Utf16Le, cjk},
            {"utf16be without mark, no ASCII letters", Utf16Bytes(cjk, true), E::Utf16Be, cjk},
            // FF FE 00 00 reads as a UTF-32 mark, but what follows is no UTF-32.
            {"utf16le with mark, NUL first", marked16le + Utf16Bytes(nulFirst), E::Utf16Le, L"\r\n" + text},
            // A stray NUL leaves 8-bit text 8-bit, and breaks a line: nothing after it is lost.
            {"utf8, NUL for the line end", ":ENV" + std::string(1, '\0') + utf8.substr(6), E::Utf8OrAnsi, text},
            {"utf8, NUL at the end", utf8 + std::string(1, '\0'), E::Utf8OrAnsi, text + L"\r\n"},
            {"ansi, NUL at the end", ansi + std::string(1, '\0'), E::Utf8OrAnsi, ansiText + L"\r\n"},
        };
    }();
    return rows;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t buffer[32768];
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    hadValue_ = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    old_.assign(buffer, length);
    SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableW(name_.c_str(), hadValue_ ? old_.c_str() : nullptr); }

std::string Narrow(const std::wstring& text) {
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                            nullptr);
    }
    return narrow;
}

std::string SystemMessageText(DWORD error) { return Narrow(SystemErrorText(error)); }

ScopedKey::ScopedKey(HKEY root, const std::wstring& path, KeyBefore before) : root_(root), path_(path) {
    HKEY existing = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS) {
        RegCloseKey(existing);
        if (before == KeyBefore::kRefuse) {
            refused_ = true;
            ADD_FAILURE() << Narrow(path_) << " exists already; the test would change it";
            return;
        }
        if (before == KeyBefore::kReplace) {
            RegDeleteTreeW(root_, path_.c_str());
            RegDeleteKeyW(root_, path_.c_str());
        }
    }
    if (!Create(path_)) return;
    LONG status = RegOpenKeyExW(root_, path_.c_str(), 0, KEY_ALL_ACCESS, &key_);
    if (status != ERROR_SUCCESS) ADD_FAILURE() << "cannot open " << Narrow(path_) << ": " << status;
}

ScopedKey::~ScopedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
    for (auto path = created_.rbegin(); path != created_.rend(); ++path) {
        // Keys above this one may hold other tests' keys: those go only when empty.
        if (path->size() >= path_.size()) RegDeleteTreeW(root_, path->c_str());
        RegDeleteKeyW(root_, path->c_str());
    }
    if (!removeWhenEmpty_.empty()) RegDeleteKeyW(root_, removeWhenEmpty_.c_str());
}

bool ScopedKey::Create(const std::wstring& path) {
    if (refused_) return false;
    for (size_t end = 0; end != std::wstring::npos;) {
        end = path.find(L'\\', end + 1);
        const std::wstring level = path.substr(0, end);
        HKEY key = nullptr;
        DWORD disposition = 0;
        LONG status = RegCreateKeyExW(root_, level.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition);
        if (status != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot create " << Narrow(level) << ": " << status;
            return false;
        }
        RegCloseKey(key);
        if (disposition == REG_CREATED_NEW_KEY) created_.push_back(level);
    }
    return true;
}

std::wstring ScopedKey::CreateSubKey(const std::wstring& subKey) {
    const std::wstring path = subKey.empty() ? path_ : path_ + L"\\" + subKey;
    Create(path);
    return path;
}

void ScopedKey::SetValue(const std::wstring& name, DWORD type, const void* data, DWORD size,
                         const std::wstring& subKey) {
    const std::wstring path = subKey.empty() ? path_ : path_ + L"\\" + subKey;
    if (!Create(path)) return;
    LONG status = RegSetKeyValueW(root_, path.c_str(), name.c_str(), type, data, size);
    EXPECT_EQ(status, ERROR_SUCCESS) << "cannot set " << Narrow(path + L"\\" + name);
}

void ScopedKey::SetString(const std::wstring& name, const std::wstring& text, const std::wstring& subKey, DWORD type) {
    SetValue(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), subKey);
}

void ScopedKey::SetDword(const std::wstring& name, DWORD number, const std::wstring& subKey) {
    SetValue(name, REG_DWORD, &number, sizeof number, subKey);
}

std::wstring ZDrivePath(const std::wstring& path) {
    std::string unix = UnixPath(path);
    if (unix.empty()) return {};
    std::wstring wide(unix.begin(), unix.end());  // the test folders' names are ASCII
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return L"Z:" + wide;
}

TinyVolume::TinyVolume(const std::wstring& folder, int kib) : unixFolder_(UnixPath(folder)) {
    mounted_ = !unixFolder_.empty() && RunLinuxProgram("/bin/mount", "-t tmpfs -o size=" + std::to_string(kib) +
                                                                         "k tmpfs \"" + unixFolder_ + "\"");
}

TinyVolume::~TinyVolume() {
    if (mounted_) RunLinuxProgram("/bin/umount", "\"" + unixFolder_ + "\"");
}

ScopedValue::ScopedValue(HKEY root, const std::wstring& keyPath, const std::wstring& name)
    : root_(root), keyPath_(keyPath), name_(name) {
    DWORD size = 0;
    if (RegGetValueW(root_, keyPath_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &oldType_, nullptr, &size) !=
        ERROR_SUCCESS) {
        return;
    }
    oldData_.resize(size);
    if (RegGetValueW(root_, keyPath_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &oldType_, oldData_.data(),
                     &size) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot read " << Narrow(keyPath_ + L"\\" + name_);
        return;
    }
    oldData_.resize(size);
    hadValue_ = true;
    if ((oldType_ == REG_SZ || oldType_ == REG_EXPAND_SZ) && size >= sizeof(wchar_t)) {
        oldText_.assign(reinterpret_cast<const wchar_t*>(oldData_.data()), size / sizeof(wchar_t));
        while (!oldText_.empty() && oldText_.back() == L'\0') oldText_.pop_back();
    }
}

ScopedValue::~ScopedValue() {
    if (!changed_) return;
    if (hadValue_) {
        RegSetKeyValueW(root_, keyPath_.c_str(), name_.c_str(), oldType_, oldData_.data(),
                        static_cast<DWORD>(oldData_.size()));
    } else {
        RegDeleteKeyValueW(root_, keyPath_.c_str(), name_.c_str());
    }
}

bool ScopedValue::Set(DWORD type, const void* data, DWORD size) {
    LONG status = RegSetKeyValueW(root_, keyPath_.c_str(), name_.c_str(), type, data, size);
    changed_ = true;
    EXPECT_EQ(status, ERROR_SUCCESS) << "cannot set " << Narrow(keyPath_ + L"\\" + name_);
    return status == ERROR_SUCCESS;
}

bool ScopedValue::SetString(DWORD type, const std::wstring& text) {
    return Set(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool ScopedValue::SetDword(DWORD number) { return Set(REG_DWORD, &number, sizeof number); }

bool ScopedValue::Remove() {
    if (!hadValue_ && !changed_) return true;
    LONG status = RegDeleteKeyValueW(root_, keyPath_.c_str(), name_.c_str());
    changed_ = true;
    EXPECT_EQ(status, ERROR_SUCCESS) << "cannot remove " << Narrow(keyPath_ + L"\\" + name_);
    return status == ERROR_SUCCESS;
}

ScratchTemp::ScratchTemp() : variable_(L"TMP", folder_.path().c_str()) {}

bool MakeReportUncreatable(const std::wstring& folder) {
    return MakeLinuxLink(folder + L"\\Quillfen.txt", "/nonexistent-quillfen-folder/Quillfen.txt");
}

MadeUpSignedInUser::MadeUpSignedInUser()
    : hive_(HKEY_USERS, kSid, KeyBefore::kReplace),
      profileEntry_(HKEY_LOCAL_MACHINE,
                    std::wstring(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + kSid,
                    KeyBefore::kReplace) {
    EXPECT_TRUE(CreateDirectoryW(desktop().c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryW((profile_ / L"Temp").c_str(), nullptr));
    profileEntry_.SetString(L"ProfileImagePath", profile_.path(), {}, REG_EXPAND_SZ);
    hive_.SetString(L"Desktop", L"%USERPROFILE%\\Desktop", kUserShellFolders, REG_EXPAND_SZ);
    hive_.SetString(L"TEMP", L"%USERPROFILE%\\Temp", L"Environment", REG_EXPAND_SZ);
    hive_.SetString(L"TMP", L"%USERPROFILE%\\Temp", L"Environment", REG_EXPAND_SZ);
    hive_.SetString(L"USERNAME", L"bob", L"Volatile Environment");
    SetSignedInSidForTest(kSid);
}

MadeUpSignedInUser::~MadeUpSignedInUser() { SetSignedInSidForTest(L""); }

ScratchDesktop::ScratchDesktop()
    : shell_(HKEY_CURRENT_USER, kUserShellFolders, L"Desktop"), copy_(HKEY_CURRENT_USER, kShellFolders, L"Desktop") {
    shell_.SetString(REG_EXPAND_SZ, folder_.path());
    copy_.SetString(REG_SZ, folder_.path());
}

std::wstring Wide(const std::string& text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

ReportParts SplitReportHeader(const std::wstring& report) {
    ReportParts parts;
    const size_t first = report.find(L"\r\n");
    const size_t second = first == std::wstring::npos ? first : report.find(L"\r\n", first + 2);
    if (second == std::wstring::npos) {
        parts.body = report;
        return parts;
    }
    parts.hasHeader = true;
    parts.header = report.substr(0, second + 2);
    parts.body = report.substr(second + 2);
    return parts;
}

std::wstring ReportBody(const std::wstring& report) {
    ReportParts parts = SplitReportHeader(report);
    return parts.hasHeader ? parts.body : L"<no header>";
}

std::wstring SectionOf(const std::wstring& context, const std::wstring& body) {
    const std::wstring banner = Banner(context);
    if (!body.starts_with(banner) || !body.ends_with(kEndOfFile)) return L"not one " + context + L" section: " + body;
    return body.substr(banner.size(), body.size() - banner.size() - kEndOfFile.size());
}

FileHandle HoldOpenForWriting(const std::wstring& path) {
    FileHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!writer) ADD_FAILURE() << "cannot open " << Narrow(path) << " for writing: " << GetLastError();
    return writer;
}

ChunkReader PieceReader(const std::string& bytes, size_t piece, size_t failAt, bool endless) {
    auto out = std::make_shared<size_t>(0);  // bytes handed out so far
    return [=](unsigned char* buffer, DWORD room, DWORD* count) {
        if (*out >= failAt) return false;
        const size_t at = endless && !bytes.empty() ? *out % bytes.size() : std::min(*out, bytes.size());
        const size_t n = std::min({static_cast<size_t>(room), piece, bytes.size() - at});
        memcpy(buffer, bytes.data() + at, n);
        *out += n;
        *count = static_cast<DWORD>(n);
        return true;
    };
}
