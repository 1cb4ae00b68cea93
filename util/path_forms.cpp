#include "util/path_forms.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <vector>

#include "util/sized_fetch.h"
#include "util/strings.h"

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// `length` characters of `text` equal `word` (upper case), ignoring case.
bool EqualsWord(const wchar_t* text, size_t length, const wchar_t* word) {
    if (wcslen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (FoldCase(text[i]) != word[i]) return false;
    }
    return true;
}

const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};

// A path's last part names a device when what comes before its first dot or colon, without trailing
// blanks, is a device name: Windows 10 opens "C:\any\nul.txt" and "com1 ." as the devices.
bool IsDosDeviceName(const wchar_t* name) {
    size_t base = wcscspn(name, L".:");
    while (base > 0 && name[base - 1] == L' ') --base;
    for (const wchar_t* device : kDeviceNames) {
        if (EqualsWord(name, base, device)) return true;
    }
    if (base != 4 || !(EqualsWord(name, 3, L"COM") || EqualsWord(name, 3, L"LPT"))) return false;
    const wchar_t digit = name[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// After "\\server\": the server's pipe and mailslot shares are not files.
bool IsServerDeviceShare(const wchar_t* afterPrefix) {
    const wchar_t* share = afterPrefix + wcscspn(afterPrefix, L"\\/");
    if (*share == L'\0') return false;
    ++share;
    const size_t length = wcscspn(share, L"\\/");
    return EqualsWord(share, length, L"PIPE") || EqualsWord(share, length, L"MAILSLOT");
}

bool IsHexDigit(wchar_t c) { return iswxdigit(c) != 0 && c < 0x80; }

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}": the 38 characters of a volume's GUID as Windows spells it.
bool IsBracedGuid(const wchar_t* text) {
    static const wchar_t kShape[] = L"{........-....-....-....-............}";
    for (size_t i = 0; kShape[i] != L'\0'; ++i) {
        if (kShape[i] == L'.' ? !IsHexDigit(text[i]) : text[i] != kShape[i]) return false;
    }
    return true;
}

// After "\\?\": a path on a volume that has no drive letter ("Volume{GUID}\..." as
// GetVolumeNameForVolumeMountPointW names it) or on a shadow copy or volume named by its device
// ("GLOBALROOT\Device\HarddiskVolumeShadowCopy3\..."). Windows opens files and folders there like
// those of a drive; without the backslash after the volume's name it is the volume device itself.
bool IsVolumeFilePath(const wchar_t* rest) {
    if (EqualsWord(rest, 6, L"VOLUME") && IsBracedGuid(rest + 6)) return rest[44] == L'\\';
    const wchar_t kDevices[] = L"GLOBALROOT\\DEVICE\\";
    const size_t devices = wcslen(kDevices);
    if (!EqualsWord(rest, devices, kDevices)) return false;
    const wchar_t* volume = rest + devices;
    const size_t nameLength = wcscspn(volume, L"\\");
    size_t digits = 0;
    while (digits < nameLength && iswdigit(volume[nameLength - 1 - digits])) ++digits;
    const size_t word = nameLength - digits;
    return digits > 0 && volume[nameLength] == L'\\' &&
           (EqualsWord(volume, word, L"HARDDISKVOLUME") || EqualsWord(volume, word, L"HARDDISKVOLUMESHADOWCOPY"));
}

}  // namespace

bool IsVerbatimPath(const wchar_t* path) {
    return wcsncmp(path, L"\\\\?\\", 4) == 0 || wcsncmp(path, L"\\??\\", 4) == 0;
}

bool IsDevicePath(const wchar_t* path) {
    // \\?\ and \??\ hand the rest to the object manager unchanged: only a drive or UNC path is a file.
    if (IsVerbatimPath(path)) {
        const wchar_t* rest = path + 4;
        if (IsLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return false;
        if (EqualsWord(rest, 3, L"UNC") && rest[3] == L'\\') return IsServerDeviceShare(rest + 4);
        // What such a path names is then decided by the opened handle, as for a drive's.
        return !IsVolumeFilePath(rest);
    }
    if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\.\ and any mix of slashes, with "." or "?": the Win32 device namespace.
        if ((path[2] == L'.' || path[2] == L'?') && (path[3] == L'\0' || IsSeparator(path[3]))) return true;
        return IsServerDeviceShare(path + 2);  // UNC: the server resolves names, none is a DOS device
    }
    const wchar_t* last = path;
    if (IsLetter(path[0]) && path[1] == L':') last = path + 2;  // "C:nul" names the device too
    for (const wchar_t* at = last; *at != L'\0'; ++at) {
        if (IsSeparator(*at)) last = at + 1;
    }
    return *last != L'\0' && IsDosDeviceName(last);
}

std::wstring ExtendedLengthPath(const std::wstring& fullPath) {
    if (IsVerbatimPath(fullPath.c_str())) return fullPath;
    if (StartsWith(fullPath, L"\\\\.\\")) return L"\\\\?\\" + fullPath.substr(4);
    if (StartsWith(fullPath, L"\\\\")) return L"\\\\?\\UNC\\" + fullPath.substr(2);
    const bool drivePath = fullPath.size() >= 3 && iswalpha(fullPath[0]) && fullPath[1] == L':' && fullPath[2] == L'\\';
    return drivePath ? L"\\\\?\\" + fullPath : fullPath;
}

std::wstring SystemFullPath(const wchar_t* path) {
    std::vector<wchar_t> full;
    DWORD length = 0;
    const bool made = FetchSizedText(full, [&](wchar_t* buffer, DWORD room, DWORD* needed) {
        DWORD answer = GetFullPathNameW(path, room, buffer, nullptr);
        if (answer == 0) return FALSE;
        if (answer >= room) {  // the size needed, the terminating zero included
            *needed = answer;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        length = answer;
        return TRUE;
    });
    return made && length > 0 ? std::wstring(full.data(), length) : std::wstring();
}

OpenablePath ChooseOpenablePath(const std::wstring& typed, const std::wstring& systemFull) {
    if (IsVerbatimPath(typed.c_str()) || systemFull.empty()) return {typed, IsDevicePath(typed.c_str())};
    if (StartsWith(systemFull, L"\\\\.\\")) return {systemFull, true};
    const std::wstring extended = ExtendedLengthPath(systemFull);
    return {extended, IsDevicePath(extended.c_str())};
}

OpenablePath OpenablePathOf(const wchar_t* typed) {
    // A verbatim path is never given to GetFullPathNameW, which would resolve ".." in it.
    if (IsVerbatimPath(typed)) return ChooseOpenablePath(typed, std::wstring());
    std::wstring full = SystemFullPath(typed);
    // GetFullPathNameW is documented to take no more than MAX_PATH characters unless the path is in its
    // \\?\ form: a long absolute path is then asked again in that form, which still resolves "." and "..".
    if (full.empty()) {
        const std::wstring verbatim = ExtendedLengthPath(typed);
        if (verbatim != typed) full = SystemFullPath(verbatim.c_str());
    }
    return ChooseOpenablePath(typed, full);
}

std::wstring ChooseFullPath(const std::wstring& typed, const OpenablePath& openable) {
    if (IsVerbatimPath(typed.c_str())) return typed;
    const std::wstring& path = openable.path;
    if (StartsWith(path, L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
    if (StartsWith(path, L"\\\\?\\")) return path.substr(4);
    return path;
}

std::wstring FullPathOf(const wchar_t* typed) { return ChooseFullPath(typed, OpenablePathOf(typed)); }

std::wstring FolderOpenPath(const std::wstring& folder) {
    // What an enumeration of folder\* would have opened in the old form.
    const std::wstring oldForm = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
    if (IsVerbatimPath(folder.c_str())) return oldForm;
    // The platform's rules make the path absolute and resolve "." and ".." exactly as an enumeration of
    // folder\* would; the "*" keeps the folder's own last name whole (a trailing dot or blank would go).
    const std::wstring full = SystemFullPath((folder + L"\\*").c_str());
    if (full.size() < 2 || full[full.size() - 1] != L'*' || full[full.size() - 2] != L'\\') return oldForm;
    return ExtendedLengthPath(full.substr(0, full.size() - 1));
}
