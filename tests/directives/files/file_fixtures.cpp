#include "tests/directives/files/file_fixtures.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "tests/support/test_support.h"

const wchar_t kFileTimeText[] = L"08:05 30/11/2021";
const wchar_t kFolderTimeText[] = L"13:45 07/03/2019";

SYSTEMTIME Instant(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    return time;
}

SYSTEMTIME FileInstant() { return Instant(2021, 11, 30, 8, 5); }
SYSTEMTIME FolderInstant() { return Instant(2019, 3, 7, 13, 45); }

std::wstring TimeText(const FILETIME& time) {
    SYSTEMTIME fields = {};
    FileTimeToSystemTime(&time, &fields);
    wchar_t text[64];
    swprintf(text, 64, L"%02u:%02u %02u/%02u/%u", fields.wHour, fields.wMinute, fields.wDay, fields.wMonth,
             fields.wYear);
    return text;
}

void SetTimes(const std::wstring& path, const SYSTEMTIME& time) {
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "cannot open " << Narrow(path);
    FILETIME fileTime;
    SystemTimeToFileTime(&time, &fileTime);
    EXPECT_TRUE(SetFileTime(handle, &fileTime, nullptr, &fileTime));
    CloseHandle(handle);
}

void MakeFile(const std::wstring& path, const std::string& bytes, DWORD attributes) {
    WriteFileBytes(path, bytes);
    SetTimes(path, FileInstant());
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
}

void MakeFolder(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path); }

void MakeSizedFile(const std::wstring& path, unsigned long long size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    SetTimes(path, FileInstant());
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

std::wstring FileText(const wchar_t* attributes, unsigned long long size) {
    return std::wstring(L"\t") + attributes + L" " + std::to_wstring(size) + L" bytes\t[" + kFileTimeText + L"]\t[" +
           kFileTimeText + L"]";
}

std::wstring FolderText() { return std::wstring(L"\td-----\t[") + kFolderTimeText + L"]"; }

std::wstring UniqueName(const std::wstring& stem) { return stem + std::to_wstring(GetCurrentProcessId()); }
