// The main of every test program: GoogleTest's, with the watchdog listening to every case.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/watchdog.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string error;
    std::optional<unsigned> seconds = ChooseWatchdogSeconds(argc, argv, std::getenv(kWatchdogVariable), error);
    if (!seconds) {
        std::fprintf(stderr, "watchdog: %s\n", error.c_str());
        return 2;
    }
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    auto* watchdog = new Watchdog(*seconds);
    listeners.Append(watchdog);
    const int status = RUN_ALL_TESTS();
    delete listeners.Release(watchdog);
    return status;
}
