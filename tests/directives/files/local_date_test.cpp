// The DIR date filter in local time: files are dated by their local date, as today is, while the
// listing keeps showing UTC times. On crafted zones as GetTimeZoneInformation gives them, and through
// the console front end under Wine with TZ set far east and far west of UTC.
#include <gtest/gtest.h>

#include <string>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/test_support.h"

namespace {

TIME_ZONE_INFORMATION FixedZone(LONG bias) {
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = bias;  // minutes to add to local time for UTC
    return zone;
}

// Central Europe: UTC+1, and UTC+2 from the last Sunday of March (02:00) to that of October (03:00).
TIME_ZONE_INFORMATION CentralEurope() {
    TIME_ZONE_INFORMATION zone = FixedZone(-60);
    zone.StandardDate = SYSTEMTIME{0, 10, 0, 5, 3, 0, 0, 0};
    zone.DaylightDate = SYSTEMTIME{0, 3, 0, 5, 2, 0, 0, 0};
    zone.DaylightBias = -60;
    return zone;
}

FILETIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    const SYSTEMTIME fields = Instant(year, month, day, hour, minute);
    FILETIME time = {};
    SystemTimeToFileTime(&fields, &time);
    return time;
}

std::string Shown(const SYSTEMTIME& t) {
    return std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" + std::to_string(t.wDay) + " " +
           std::to_string(t.wHour) + ":" + std::to_string(t.wMinute);
}

TEST(LocalTimeFields, TheZonesRulesForThatInstant) {
    const TIME_ZONE_INFORMATION kiritimati = FixedZone(-840);  // UTC+14
    const TIME_ZONE_INFORMATION pagoPago = FixedZone(660);     // UTC-11
    const TIME_ZONE_INFORMATION utc = FixedZone(0);
    const TIME_ZONE_INFORMATION europe = CentralEurope();
    const struct {
        FILETIME time;
        const TIME_ZONE_INFORMATION* zone;
        const char* local;
    } rows[] = {
        // Far east: the first hours of a local day are the day before in UTC.
        {At(2026, 12, 8, 10, 5), &kiritimati, "2026-12-9 0:5"},
        {At(2026, 12, 8, 9, 55), &kiritimati, "2026-12-8 23:55"},
        {At(2026, 12, 31, 10, 30), &kiritimati, "2027-1-1 0:30"},
        // Far west: late in a local day is the next day in UTC.
        {At(2026, 12, 9, 10, 55), &pagoPago, "2026-12-8 23:55"},
        {At(2026, 12, 9, 11, 5), &pagoPago, "2026-12-9 0:5"},
        {At(2026, 3, 1, 2, 0), &pagoPago, "2026-2-28 15:0"},
        {At(2026, 12, 9, 0, 0), &utc, "2026-12-9 0:0"},
        // Summer time counts on the file's date whatever the season is now.
        {At(2026, 7, 1, 22, 30), &europe, "2026-7-2 0:30"},
        {At(2026, 1, 1, 22, 30), &europe, "2026-1-1 23:30"},
        {At(2026, 1, 1, 23, 30), &europe, "2026-1-2 0:30"},
    };
    for (const auto& row : rows) EXPECT_EQ(Shown(LocalTimeFields(row.time, row.zone)), row.local);
}

TEST(PassesLocalDateFilter, EitherInstantOnOrAfterTheLocalReference) {
    const TIME_ZONE_INFORMATION kiritimati = FixedZone(-840);
    const TIME_ZONE_INFORMATION pagoPago = FixedZone(660);
    const SYSTEMTIME today = Instant(2026, 12, 9);
    const FILETIME old = At(2020, 1, 1, 0, 0);
    const struct {
        const char* what;
        FILETIME created, written;
        const TIME_ZONE_INFORMATION* zone;
        bool passes;
    } rows[] = {
        {"east, just after local midnight (UTC yesterday)", old, At(2026, 12, 8, 10, 5), &kiritimati, true},
        {"east, just before local midnight", old, At(2026, 12, 8, 9, 55), &kiritimati, false},
        {"west, just before local midnight (UTC today)", At(2026, 12, 9, 10, 55), old, &pagoPago, false},
        {"west, just after local midnight", At(2026, 12, 9, 11, 5), old, &pagoPago, true},
        {"both old", old, old, &pagoPago, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PassesLocalDateFilter(row.created, row.written, today, row.zone), row.passes) << row.what;
}

FILETIME FromTicks(ULONGLONG ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

ULONGLONG NowTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void SetBothTimes(const std::wstring& path, const FILETIME& time) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, &time, nullptr, &time));
    CloseHandle(file);
}

// Wine takes the zone from the TZ of the Linux process that starts a Windows program (a server
// started with TZ=UTC still gives a client started with TZ=Pacific/Kiritimati a bias of -840), and not
// from a TZ in a Windows parent's environment: the console front end is started from the Linux side.
// The DIR section of `line`, as a run in zone `tz` writes it.
std::wstring DirSectionInZone(const std::string& tz, const std::wstring& line) {
    ScratchFolder folder;
    const std::wstring script = L"\uFEFF:DIR\r\n" + line + L"\r\n";
    WriteFileBytes(folder / L"script.txt",
                   std::string(reinterpret_cast<const char*>(script.data()), script.size() * sizeof(wchar_t)));
    const std::wstring report = folder / L"report.txt";
    const std::string cli = UnixPath(ExecutableFolder() + L"\\quillfen-cli.exe");
    EXPECT_TRUE(RunLinuxProgram("/usr/bin/env", "TZ=" + tz + " wine '" + cli + "' --quiet --out '" + Narrow(report) +
                                                    "' '" + Narrow(folder / L"script.txt") + "'"));
    return SectionOf(L"DIR", ReportBody(ReadUtf16File(report)));
}

// Neither zone has summer time.
TEST(DirDateFilter, LocalMidnightDecidesFarEastAndFarWestOfUtc) {
    const ULONGLONG kMinute = 60ull * 10000000;
    const struct {
        const char* tz;
        long long offsetMinutes;  // local time minus UTC
    } zones[] = {{"Pacific/Kiritimati", 14 * 60}, {"Pacific/Pago_Pago", -11 * 60}};
    for (const auto& zone : zones) {
        SCOPED_TRACE(zone.tz);
        const long long offset = zone.offsetMinutes * static_cast<long long>(kMinute);
        const ULONGLONG day = 24 * 60 * kMinute;
        ULONGLONG local = NowTicks() + offset;
        // Too close to local midnight, today could change while the program runs: wait it out.
        if (day - local % day < 2 * kMinute) {
            Sleep(static_cast<DWORD>((day - local % day) / 10000) + 1000);
            local = NowTicks() + offset;
        }
        const ULONGLONG midnight = local - local % day - offset;
        const FILETIME after = FromTicks(midnight + 5 * kMinute);
        const FILETIME before = FromTicks(midnight - 5 * kMinute);

        ScratchFolder root;
        MakeFile(root / L"after.txt", "a");
        MakeFile(root / L"before.txt", "b");
        SetBothTimes(root / L"after.txt", after);
        SetBothTimes(root / L"before.txt", before);
        // Shown in UTC, as every listed time is.
        const std::wstring afterLine =
            L"\r\nafter.txt\t--a--- 1 bytes\t[" + TimeText(after) + L"]\t[" + TimeText(after) + L"]";
        const std::wstring beforeLine =
            L"\r\nbefore.txt\t--a--- 1 bytes\t[" + TimeText(before) + L"]\t[" + TimeText(before) + L"]";
        const auto header = [&](const wchar_t* parameters) {
            return DirHeader(root.path(), parameters) + L"\r\n---Files---";
        };

        EXPECT_EQ(DirSectionInZone(zone.tz, root.path() + L" /t0 /nodirs"),
                  header(L"/t0 /nodirs") + afterLine + L"\r\n");
        EXPECT_EQ(DirSectionInZone(zone.tz, root.path() + L" /t1 /nodirs"),
                  header(L"/t1 /nodirs") + afterLine + beforeLine + L"\r\n");
    }
}

}  // namespace
