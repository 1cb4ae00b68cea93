// The pieces every file listing shares: the attribute field, times and entry texts.
#include <windows.h>

#include <cwchar>

#include "directives/files/files.h"
#include "util/md5.h"

const wchar_t ATTRIBS[] = L"drahsc";
const DWORD ATTRIBS_DW[] = {FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_ARCHIVE,
                            FILE_ATTRIBUTE_HIDDEN,    FILE_ATTRIBUTE_SYSTEM,   FILE_ATTRIBUTE_COMPRESSED};

namespace {

const wchar_t kBytes[] = L" bytes";
const wchar_t kNoDigest[] = L" (Unable to calculate MD5)";

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

}  // namespace

std::wstring AttributeField(DWORD attributes) {
    std::wstring field(NUM_ATTRIBS, L'-');
    for (size_t i = 0; i < NUM_ATTRIBS; ++i) {
        if (attributes & ATTRIBS_DW[i]) field[i] = ATTRIBS[i];
    }
    return field;
}

SYSTEMTIME FileTimeFields(const FILETIME& time) {
    SYSTEMTIME fields = {};
    if (!FileTimeToSystemTime(&time, &fields)) fields = SYSTEMTIME{};
    return fields;
}

SYSTEMTIME LocalTimeFields(const FILETIME& time, const TIME_ZONE_INFORMATION* zone) {
    const SYSTEMTIME utc = FileTimeFields(time);
    SYSTEMTIME local = {};
    return SystemTimeToTzSpecificLocalTime(zone, &utc, &local) ? local : utc;
}

void AppendNumber(std::wstring& text, uint64_t value, unsigned minDigits) {
    wchar_t digits[24];
    unsigned count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < minDigits && count < 24) digits[count++] = L'0';
    while (count > 0) text += digits[--count];
}

void AppendTime(std::wstring& text, const SYSTEMTIME& time, const wchar_t* between) {
    AppendNumber(text, time.wHour, 2);
    text += L':';
    AppendNumber(text, time.wMinute, 2);
    text += between;
    AppendNumber(text, time.wDay, 2);
    text += L'/';
    AppendNumber(text, time.wMonth, 2);
    text += L'/';
    AppendNumber(text, time.wYear);
}

std::wstring FileEntryText(DWORD attributes, uint64_t size, const SYSTEMTIME& created, const SYSTEMTIME& written) {
    std::wstring text = L"\t" + AttributeField(attributes) + L" ";
    AppendNumber(text, size);
    text += kBytes;
    text += L"\t[";
    AppendTime(text, created);
    text += L"]\t[";
    AppendTime(text, written);
    text += L']';
    return text;
}

std::wstring FolderEntryText(DWORD attributes, const SYSTEMTIME& created) {
    std::wstring text = L"\t" + AttributeField(attributes) + L"\t[";
    AppendTime(text, created);
    text += L']';
    return text;
}

SYSTEMTIME ReferenceDate(const SYSTEMTIME& today, long days) {
    int64_t number = DaysFromCivil(today.wYear, today.wMonth, today.wDay);
    if (days > 0) number -= days;
    const int64_t firstDay = DaysFromCivil(1, 1, 1);
    if (number < firstDay) number = firstDay;
    int64_t year;
    unsigned month, day;
    CivilFromDays(number, year, month, day);
    SYSTEMTIME date = {};
    date.wYear = static_cast<WORD>(year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    return date;
}

bool IsOnOrAfter(const SYSTEMTIME& date, const SYSTEMTIME& reference) {
    if (date.wYear != reference.wYear) return date.wYear > reference.wYear;
    if (date.wMonth != reference.wMonth) return date.wMonth > reference.wMonth;
    return date.wDay >= reference.wDay;
}

bool PassesLocalDateFilter(const FILETIME& created, const FILETIME& written, const SYSTEMTIME& reference,
                           const TIME_ZONE_INFORMATION* zone) {
    return IsOnOrAfter(LocalTimeFields(created, zone), reference) ||
           IsOnOrAfter(LocalTimeFields(written, zone), reference);
}

std::wstring EntryText(const FoundEntry& entry) {
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
        return FolderEntryText(entry.attributes, FileTimeFields(entry.created));
    return FileEntryText(entry.attributes, entry.size, FileTimeFields(entry.created), FileTimeFields(entry.written));
}

void AppendDigest(std::wstring& line, const FoundEntry& file) {
    const std::wstring digest = file.parent && RelativeOpensHere()
                                    ? MD5FileAt(file.parent->get(), file.name, file.attributes)
                                    : MD5File(file.openPath.c_str(), file.attributes);
    if (digest.empty()) {
        line += kNoDigest;
        return;
    }
    line += L' ';
    line += digest;
}
