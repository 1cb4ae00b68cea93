// A bound on each test case of a test program: a case still running after it is named on standard
// error and the program ends at once with kWatchdogExitCode, so that a hang shows within minutes and
// the runner can run the program's other cases again without it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// The exit code of a program that the watchdog ended (that of coreutils' timeout).
constexpr unsigned kWatchdogExitCode = 124;
// Seconds a case may run when neither --watchdog=N nor QUILLFEN_WATCHDOG says otherwise: within the
// two minutes in which a hang is to be named, with room for the runner to notice.
constexpr unsigned kWatchdogDefaultSeconds = 90;
// The environment variable that sets the bound (seconds) for every program that sees it.
inline constexpr char kWatchdogVariable[] = "QUILLFEN_WATCHDOG";
// A file (Windows path) to which the watchdog appends the hung case's full name on a line of its own.
inline constexpr char kWatchdogNoteVariable[] = "QUILLFEN_WATCHDOG_NOTE";

// A bound written as whole seconds (decimal digits only, at most a day); 0 switches the watchdog off.
// Anything else has no value.
std::optional<unsigned> ParseWatchdogSeconds(std::string_view text);

// The bound for a program: the value of a --watchdog=N argument if there is one (the last counts),
// else that of the environment variable (null: not set), else the default. A value that does not
// parse is an error: the result is empty and `error` says which text was wrong.
std::optional<unsigned> ChooseWatchdogSeconds(int argc, char** argv, const char* environment, std::string& error);

// "WATCHDOG: <Suite>.<Case> still running after <N> s"
std::string WatchdogMessage(const std::string& caseName, unsigned seconds);

// The listener: one thread that waits for the running case to end or for its time to run out.
class Watchdog : public testing::EmptyTestEventListener {
public:
    explicit Watchdog(unsigned seconds);
    ~Watchdog() override;
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void OnTestStart(const testing::TestInfo& test) override;
    void OnTestEnd(const testing::TestInfo& test) override;

private:
    void Watch();
    [[noreturn]] void Fire(const std::string& caseName);

    const std::chrono::seconds bound_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string running_;  // full name of the running case; empty between cases
    std::chrono::steady_clock::time_point started_;
    unsigned long long generation_ = 0;  // counts case starts, so that a new case is told from the old
    bool stopping_ = false;
    std::thread thread_;
};
