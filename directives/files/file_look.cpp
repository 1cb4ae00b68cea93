// FILE: one section per line with the file's digest, times, size, attributes and version strings.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "report/texts.h"
#include "util/disk_file.h"
#include "util/environment.h"
#include "util/md5.h"
#include "util/version_record.h"

namespace {

const wchar_t kUnableToFind[] = L" - Unable to find/read file.\r\n";
const wchar_t kFound[] = L" - File found and opened.\r\n";
const wchar_t kMd5Label[] = L"MD5: ";
const wchar_t kCreatedAt[] = L"Created at ";
const wchar_t kModifiedAt[] = L"Modified at ";
const wchar_t kSizeLabel[] = L"Size: ";
const wchar_t kSizeUnit[] = L" bytes\r\n";
const wchar_t kAttributesLabel[] = L"Attributes: ";
const wchar_t kNoVersion[] = L"No version information available.\r\n";
const wchar_t kValueSeparator[] = L": ";

const wchar_t* const VER_INFO_ARR[] = {L"FileDescription",  L"FileVersion",    L"ProductVersion",
                                       L"OriginalFilename", L"InternalName",   L"ProductName",
                                       L"CompanyName",      L"LegalCopyright", L"Comments"};
constexpr size_t NUM_VINFO = sizeof VER_INFO_ARR / sizeof VER_INFO_ARR[0];

// "hh:mm on dd/mm/yyyy", the FILE section's own time form.
std::wstring TimeLine(const wchar_t* label, const FILETIME& time) {
    std::wstring line = label;
    AppendTime(line, FileTimeFields(time), L" on ");
    line += kLineEnd;
    return line;
}

// The version strings of the file opened by `openPath`, typed as `path`.
void LogVersionStrings(const wchar_t* openPath, const wchar_t* path, FILE* report) {
    std::vector<BYTE> record = ReadVersionRecord(openPath);
    // The record is read by loading the file as a data file: should a loader refuse the \\?\ form, the
    // path as typed still serves where it is short enough for the old rules.
    if (record.empty() && wcscmp(openPath, path) != 0 && wcslen(path) < MAX_PATH) record = ReadVersionRecord(path);
    DWORD translation = 0;
    if (!ChooseTranslation(record, translation)) {
        Log(kNoVersion, report);
        return;
    }
    std::wstring text;
    for (const wchar_t* name : VER_INFO_ARR) {
        if (!VersionString(record, translation, name, text)) continue;
        std::wstring line = name;
        line += kValueSeparator;
        line += text;
        line += kLineEnd;
        Log(line.c_str(), report);
    }
}

}  // namespace

void FileLook(wchar_t* line, FILE* report, WorkPool&) {
    const std::wstring path = ExpandEnvironment(line);
    Log(kLineEnd, report);
    Log(path.c_str(), report);

    // Every open (the file, its digest, its version record) is of the one form the path opens by.
    const std::wstring openPath = OpenablePathOf(path.c_str()).path;
    DiskFile file = OpenDiskFile(openPath.c_str());
    if (!file) {
        Log(kUnableToFind, report);
        return;
    }
    file.handle.reset();
    Log(kFound, report);

    const BY_HANDLE_FILE_INFORMATION& information = file.information;
    // The digest's own open judges the handle's attributes: these are no find data.
    const std::wstring digest = MD5File(openPath.c_str());
    Log(kMd5Label, report);
    Log(digest.empty() ? kNoDigestLine : digest.c_str(), report);
    Log(kLineEnd, report);

    std::wstring details = TimeLine(kCreatedAt, information.ftCreationTime);
    details += TimeLine(kModifiedAt, information.ftLastWriteTime);
    details += kSizeLabel;
    AppendNumber(details, file.size());
    details += kSizeUnit;
    details += kAttributesLabel;
    details += AttributeField(information.dwFileAttributes);
    details += kLineEnd;
    Log(details.c_str(), report);

    // Reading the version record reads the content, which a cloud-only file does not have here.
    if (IsRecalledOnRead(information.dwFileAttributes, AttributeSource::kHandle)) {
        Log(kNoVersion, report);
        return;
    }
    LogVersionStrings(openPath.c_str(), path.c_str(), report);
}
