// ASSOC: the command that opens files of an extension, looked up through its file type.
#include <windows.h>

#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/registry.h"

namespace {

const wchar_t kLineEnd[] = L"\r\n";
const wchar_t kNoExtensionKey[] = L"Unable to open extension key.";
const wchar_t kNoFileString[] = L"Unable to get filename string.";
const wchar_t kNoCommandKey[] = L"Unable to open command key.";
const wchar_t kNoAssocString[] = L"Unable to get association string.";
const wchar_t kOpenCommand[] = L"\\shell\\open\\command";

// The default value of HKCR\<path> taken as text whatever its type, up to its first NUL.
// Returns false with the first message when the key cannot be opened, the second when the value
// cannot be read.
bool ReadDefaultText(const wchar_t* path, const wchar_t* noKey, const wchar_t* noValue, std::wstring& result) {
    RegKey key = OpenKey(HKEY_CLASSES_ROOT, path);
    if (!key) {
        result = noKey;
        return false;
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    if (ReadValue(key.get(), L"", type, data) != ERROR_SUCCESS) {
        result = noValue;
        return false;
    }
    result = StringDataText(data);
    return true;
}

}  // namespace

bool GetFileString(const wchar_t* extension, std::wstring& result) {
    return ReadDefaultText(extension, kNoExtensionKey, kNoFileString, result);
}

std::wstring GetAssoc(const wchar_t* fileType) {
    std::wstring result;
    ReadDefaultText((std::wstring(fileType) + kOpenCommand).c_str(), kNoCommandKey, kNoAssocString, result);
    return result;
}

void FileAssoc(wchar_t* line, FILE* report, WorkPool&) {
    std::wstring text = kLineEnd;
    text += line;
    text += kLineEnd;
    std::wstring result;
    if (GetFileString(line, result)) result = GetAssoc(result.c_str());
    text += result;
    text += kLineEnd;
    Log(text.c_str(), report);
}
