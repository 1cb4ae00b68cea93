// A process's command line: asked of the system where it answers (Windows 8.1 and later), else read
// from the process parameters in the process's memory.
#include <windows.h>
// winternl.h needs the types of windows.h first.
#include <winternl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "directives/system/system.h"

namespace {

const PROCESSINFOCLASS kCommandLineClass = static_cast<PROCESSINFOCLASS>(60);  // ProcessCommandLineInformation
const NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
const NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
const NTSTATUS kBufferOverflow = static_cast<NTSTATUS>(0x80000005);
// The answer holds a UNICODE_STRING and the text, at most 32,767 characters.
const ULONG kMaxAnswerBytes = sizeof(UNICODE_STRING) + 65536;

bool AskSystem(HANDLE process, std::wstring& commandLine) {
    std::vector<BYTE> answer(sizeof(UNICODE_STRING));
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        NTSTATUS status = NtQueryInformationProcess(process, kCommandLineClass, answer.data(),
                                                    static_cast<ULONG>(answer.size()), &needed);
        if (status == kInfoLengthMismatch || status == kBufferTooSmall || status == kBufferOverflow) {
            if (needed <= answer.size() || needed > kMaxAnswerBytes) return false;
            answer.assign(needed, 0);
            continue;
        }
        if (status != 0) return false;
        const auto* text = reinterpret_cast<const UNICODE_STRING*>(answer.data());
        // The text lies in the answer; anything else is not believed.
        const BYTE* start = reinterpret_cast<const BYTE*>(text->Buffer);
        const size_t length = text->Length / sizeof(wchar_t);
        if (length == 0) {
            commandLine.clear();
            return true;
        }
        if (start < answer.data() + sizeof(UNICODE_STRING) ||
            start + length * sizeof(wchar_t) > answer.data() + answer.size())
            return false;
        commandLine.assign(reinterpret_cast<const wchar_t*>(start), length);
        return true;
    }
    return false;
}

bool ReadMemory(HANDLE process, uint64_t address, void* out, size_t size) {
    if (address == 0 || address > UINTPTR_MAX - size) return false;
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), out, size,
                             &read) &&
           read == size;
}

// The PEB's address in the layout's form.
bool FindPeb(HANDLE process, const CommandLineLayout& layout, uint64_t& peb) {
    if (layout.wow64Peb) {
        ULONG_PTR peb32 = 0;
        if (NtQueryInformationProcess(process, ProcessWow64Information, &peb32, sizeof peb32, nullptr) != 0)
            return false;
        peb = peb32;
        return true;
    }
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return false;
    peb = reinterpret_cast<uintptr_t>(basic.PebBaseAddress);
    return true;
}

bool ReadFromParameters(HANDLE process, std::wstring& commandLine) {
    BOOL readerWow64 = FALSE;
    BOOL targetWow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &readerWow64) || !IsWow64Process(process, &targetWow64)) return false;
    const CommandLineLayout layout = ChooseCommandLineLayout(sizeof(void*) == 8, readerWow64, targetWow64);
    uint64_t peb = 0;
    uint64_t parameters = 0;
    uint64_t buffer = 0;
    USHORT bytes = 0;
    // The UNICODE_STRING: its length in bytes, then the text's address at the next pointer's place.
    if (!layout.readable || !FindPeb(process, layout, peb) ||
        !ReadMemory(process, peb + layout.parametersOffset, &parameters, layout.pointerSize) ||
        !ReadMemory(process, parameters + layout.commandLineOffset, &bytes, sizeof bytes) ||
        !ReadMemory(process, parameters + layout.commandLineOffset + layout.pointerSize, &buffer, layout.pointerSize))
        return false;
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!text.empty() && !ReadMemory(process, buffer, text.data(), text.size() * sizeof(wchar_t))) return false;
    commandLine.swap(text);
    return true;
}

}  // namespace

CommandLineLayout ChooseCommandLineLayout(bool reader64, bool readerWow64, bool targetWow64) {
    const CommandLineLayout native64 = {true, false, 8, 0x20, 0x70};
    const CommandLineLayout native32 = {true, false, 4, 0x10, 0x40};
    if (reader64) return targetWow64 ? CommandLineLayout{true, true, 4, 0x10, 0x40} : native64;
    // A 32-bit reader sees a 32-bit process's PEB as its own; a 64-bit one's is out of its reach.
    if (readerWow64 && !targetWow64) return {};
    return native32;
}

bool ReadCommandLine(HANDLE query, HANDLE memory, std::wstring& commandLine) {
    if (query != nullptr && AskSystem(query, commandLine)) return true;
    return memory != nullptr && ReadFromParameters(memory, commandLine);
}
