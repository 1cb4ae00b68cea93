#include "tests/support/watchdog.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

std::optional<unsigned> ParseWatchdogSeconds(std::string_view text) {
    constexpr unsigned kMost = 24 * 60 * 60;
    if (text.empty()) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > kMost) return std::nullopt;  // also keeps the product from overflowing
    }
    return value;
}

std::optional<unsigned> ChooseWatchdogSeconds(int argc, char** argv, const char* environment, std::string& error) {
    constexpr std::string_view kFlag = "--watchdog=";
    std::optional<std::string_view> chosen;
    std::string source;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument.starts_with(kFlag)) {
            chosen = argument.substr(kFlag.size());
            source = std::string(argument);
        }
    }
    if (!chosen && environment != nullptr) {
        chosen = environment;
        source = std::string(kWatchdogVariable) + "=" + environment;
    }
    if (!chosen) return kWatchdogDefaultSeconds;
    std::optional<unsigned> seconds = ParseWatchdogSeconds(*chosen);
    if (!seconds) error = "not a number of seconds (0 to 86400): " + source;
    return seconds;
}

std::string WatchdogMessage(const std::string& caseName, unsigned seconds) {
    return "WATCHDOG: " + caseName + " still running after " + std::to_string(seconds) + " s";
}

Watchdog::Watchdog(unsigned seconds) : bound_(seconds) {
    if (seconds > 0) thread_ = std::thread([this] { Watch(); });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Watchdog::OnTestStart(const testing::TestInfo& test) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = std::string(test.test_suite_name()) + "." + test.name();
        started_ = std::chrono::steady_clock::now();
        ++generation_;
    }
    changed_.notify_all();
}

void Watchdog::OnTestEnd(const testing::TestInfo&) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_.clear();
    }
    changed_.notify_all();
}

void Watchdog::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !running_.empty(); });
        if (stopping_) return;
        const unsigned long long watched = generation_;
        const bool moved = changed_.wait_until(lock, started_ + bound_,
                                               [&] { return stopping_ || generation_ != watched || running_.empty(); });
        if (!moved) Fire(running_);
    }
}

void Watchdog::Fire(const std::string& caseName) {
    const std::string message = WatchdogMessage(caseName, static_cast<unsigned>(bound_.count()));
    std::fflush(stdout);
    std::fprintf(stderr, "\n%s\n", message.c_str());
    std::fflush(stderr);
    if (const char* note = std::getenv(kWatchdogNoteVariable); note != nullptr && note[0] != '\0') {
        if (FILE* file = std::fopen(note, "ab")) {
            std::fprintf(file, "%s\n", caseName.c_str());
            std::fclose(file);
        }
    }
    // The hung case may hold locks the C library's exit would wait for: end without running anything.
    TerminateProcess(GetCurrentProcess(), kWatchdogExitCode);
    _exit(static_cast<int>(kWatchdogExitCode));
}
