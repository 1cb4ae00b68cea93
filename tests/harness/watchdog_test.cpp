// The test programs' watchdog: how it reads its bound, what it says, and a program of ours that it
// ends when a case hangs (QUILLFEN_TEST_HANG=1 makes one case here hang, to see it in a CTest run).
#include "tests/support/watchdog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/test_support.h"

namespace {

TEST(Watchdog, ParsesItsBound) {
    const struct {
        const char* text;
        std::optional<unsigned> seconds;
    } cases[] = {
        {"90", 90u},
        {"0", 0u},  // off
        {"007", 7u},
        {"86400", 86400u},
        {"86401", std::nullopt},
        {"99999999999999999999", std::nullopt},  // would overflow
        {"", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {"5s", std::nullopt},
        {" 5", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseWatchdogSeconds(c.text), c.seconds) << '"' << c.text << '"';
}

TEST(Watchdog, TakesTheLastArgumentThenTheEnvironmentThenTheDefault) {
    const struct {
        std::vector<const char*> arguments;
        const char* environment;
        std::optional<unsigned> seconds;
        std::string error;
    } cases[] = {
        {{}, nullptr, kWatchdogDefaultSeconds, ""},
        {{}, "30", 30u, ""},
        {{"--watchdog=5"}, "30", 5u, ""},
        {{"--watchdog=5", "--gtest_color=no", "--watchdog=6"}, nullptr, 6u, ""},
        {{"--watchdog", "5"}, nullptr, kWatchdogDefaultSeconds, ""},  // only the = form is ours
        {{"--watchdog=x"}, "30", std::nullopt, "not a number of seconds (0 to 86400): --watchdog=x"},
        {{}, "soon", std::nullopt, "not a number of seconds (0 to 86400): QUILLFEN_WATCHDOG=soon"},
        {{"--watchdog="}, nullptr, std::nullopt, "not a number of seconds (0 to 86400): --watchdog="},
    };
    for (const auto& c : cases) {
        std::vector<char*> argv{const_cast<char*>("tests.exe")};
        for (const char* argument : c.arguments) argv.push_back(const_cast<char*>(argument));
        std::string error;
        EXPECT_EQ(ChooseWatchdogSeconds(static_cast<int>(argv.size()), argv.data(), c.environment, error), c.seconds)
            << argv.size() << " arguments, environment " << (c.environment ? c.environment : "unset");
        EXPECT_EQ(error, c.error);
    }
}

TEST(Watchdog, NamesTheHungCase) {
    const struct {
        const char* caseName;
        unsigned seconds;
        const char* message;
    } cases[] = {
        {"Window.LooksAtTheDesktop", 90, "WATCHDOG: Window.LooksAtTheDesktop still running after 90 s"},
        {"Sizes/Layout.Scales/2", 1, "WATCHDOG: Sizes/Layout.Scales/2 still running after 1 s"},
        {"A.B", 86400, "WATCHDOG: A.B still running after 86400 s"},
    };
    for (const auto& c : cases) EXPECT_EQ(WatchdogMessage(c.caseName, c.seconds), c.message);
    // The switch that shows the watchdog at work in a whole run: this case then never ends.
    if (const char* hang = std::getenv("QUILLFEN_TEST_HANG"); hang != nullptr && std::strcmp(hang, "1") == 0) {
        for (;;) Sleep(INFINITE);
    }
}

TEST(Watchdog, EndsAProgramWhoseCaseHangsAndNamesTheCase) {
    ScratchFolder folder;
    const std::wstring note = folder / L"hung.txt";
    ScopedEnvironment hang(L"QUILLFEN_TEST_HANG", L"1");
    ScopedEnvironment noted(L"QUILLFEN_WATCHDOG_NOTE", note.c_str());
    ScopedEnvironment bound(L"QUILLFEN_WATCHDOG", nullptr);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring program = L"\"" + std::wstring(self) + L"\" --gtest_color=no";
    const DWORD before = GetTickCount();
    ProcessResult run =
        RunProcess(program + L" --watchdog=2 --gtest_filter=Watchdog.ParsesItsBound:Watchdog.NamesTheHungCase");
    const DWORD took = GetTickCount() - before;
    EXPECT_EQ(run.exitCode, kWatchdogExitCode) << run.err;
    EXPECT_NE(run.err.find("WATCHDOG: Watchdog.NamesTheHungCase still running after 2 s\r\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("[       OK ] Watchdog.ParsesItsBound"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("[       OK ] Watchdog.NamesTheHungCase"), std::string::npos) << run.out;
    EXPECT_GE(took, 2000u) << "ended before the bound";
    EXPECT_EQ(ReadFileBytes(note), "Watchdog.NamesTheHungCase\n");

    // Cases that end within the bound are left alone, and 0 switches the watchdog off.
    ScopedEnvironment noHang(L"QUILLFEN_TEST_HANG", nullptr);
    for (const wchar_t* seconds : {L"2", L"0"}) {
        ProcessResult quick = RunProcess(program + L" --watchdog=" + seconds +
                                         L" --gtest_filter=Watchdog.ParsesItsBound:Watchdog.NamesTheHungCase");
        EXPECT_EQ(quick.exitCode, 0u) << Narrow(seconds) << "\n" << quick.out << quick.err;
        EXPECT_EQ(quick.err.find("WATCHDOG"), std::string::npos) << quick.err;
    }
    ProcessResult wrong = RunProcess(program + L" --watchdog=soon");
    EXPECT_EQ(wrong.exitCode, 2u);
    EXPECT_EQ(wrong.err, "watchdog: not a number of seconds (0 to 86400): --watchdog=soon\r\n");  // text mode
    EXPECT_EQ(ReadFileBytes(note), "Watchdog.NamesTheHungCase\n") << "only a hang is noted";
}

}  // namespace
