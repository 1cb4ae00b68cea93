#include "app/scan/script_file.h"

#include <windows.h>

#include <cwchar>

#include "util/handles.h"

namespace {

std::wstring DecodeMultiByte(UINT codePage, DWORD flags, const unsigned char* bytes, size_t count, bool& ok) {
    ok = true;
    if (count == 0) return {};
    int length =
        MultiByteToWideChar(codePage, flags, reinterpret_cast<const char*>(bytes), static_cast<int>(count), nullptr, 0);
    if (length <= 0) {
        ok = false;
        return {};
    }
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, reinterpret_cast<const char*>(bytes), static_cast<int>(count), text.data(),
                        length);
    return text;
}

}  // namespace

std::wstring DecodeScriptBytes(const std::vector<unsigned char>& bytes) {
    const unsigned char* data = bytes.data();
    size_t count = bytes.size();
    std::wstring text;
    bool utf16 = false;
    if (count >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        data += 2;
        count -= 2;
        utf16 = true;
    } else if (count >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        count -= 3;
    } else {
        utf16 = memchr(data, 0, count) != nullptr;
    }

    if (utf16) {
        text.resize(count / 2);
        if (!text.empty()) memcpy(text.data(), data, text.size() * sizeof(wchar_t));
    } else {
        bool ok = false;
        text = DecodeMultiByte(CP_UTF8, MB_ERR_INVALID_CHARS, data, count, ok);
        if (!ok) text = DecodeMultiByte(CP_ACP, 0, data, count, ok);
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

bool ReadScriptFile(const wchar_t* path, std::wstring& text, unsigned long& error) {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr)) {
            error = GetLastError();
            return false;
        }
        if (read == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    text = DecodeScriptBytes(bytes);
    return true;
}

bool ReadScriptStream(FILE* stream, std::wstring& text) {
    std::vector<unsigned char> bytes;
    unsigned char chunk[64 * 1024];
    size_t read;
    while ((read = fread(chunk, 1, sizeof chunk, stream)) > 0) bytes.insert(bytes.end(), chunk, chunk + read);
    if (ferror(stream)) return false;
    text = DecodeScriptBytes(bytes);
    return true;
}
