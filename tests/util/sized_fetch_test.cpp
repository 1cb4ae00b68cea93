// The size-query-and-fetch loop, driven by a fake source whose data changes between calls.
#include "util/sized_fetch.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Data that takes `sizes[i]` bytes at the i-th call (the last size from then on), filled with 'x',
// answering in the platform's way; `error` is the error for too little room.
struct FakeSource {
    std::vector<DWORD> sizes;
    DWORD error = ERROR_INSUFFICIENT_BUFFER;
    int calls = 0;

    BOOL operator()(BYTE* data, DWORD size, DWORD* needed) {
        DWORD now = sizes[calls < static_cast<int>(sizes.size()) ? calls : sizes.size() - 1];
        ++calls;
        *needed = now;
        if (size < now) {
            SetLastError(error);
            return FALSE;
        }
        for (DWORD i = 0; i < now; ++i) data[i] = 'x';
        return TRUE;
    }
};

std::string Text(const std::vector<BYTE>& buffer) { return std::string(buffer.begin(), buffer.end()); }

TEST(FetchSized, FetchesAgainWhileTheDataGrows) {
    FakeSource source{{10, 30, 30}};
    std::vector<BYTE> buffer;
    ASSERT_TRUE(FetchSized(buffer, std::ref(source)));
    EXPECT_EQ(source.calls, 3);
    // The data, then the spare zeros that keep a text terminated.
    EXPECT_EQ(Text(buffer), std::string(30, 'x') + std::string(4, '\0'));

    FakeSource more{{8, 12, 20, 20}, ERROR_MORE_DATA};
    ASSERT_TRUE(FetchSized(buffer, std::ref(more)));
    EXPECT_EQ(more.calls, 4);
    EXPECT_EQ(Text(buffer), std::string(20, 'x') + std::string(4, '\0'));
}

TEST(FetchSized, GivesUpOnDataThatNeverStopsGrowing) {
    std::vector<DWORD> sizes;
    for (DWORD i = 1; i <= 100; ++i) sizes.push_back(i * 16);
    FakeSource source{sizes};
    std::vector<BYTE> buffer = {'k', 'e', 'p', 't'};
    EXPECT_FALSE(FetchSized(buffer, std::ref(source)));
    EXPECT_EQ(source.calls, 1 + kMaxFetchAttempts);
    EXPECT_EQ(Text(buffer), "kept");
}

TEST(FetchSized, OtherFailuresAndNoData) {
    std::vector<BYTE> buffer = {'k'};
    int calls = 0;
    EXPECT_FALSE(FetchSized(buffer, [&](BYTE*, DWORD, DWORD* needed) {
        ++calls;
        *needed = 64;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Text(buffer), "k");

    // The size query itself succeeds: there is nothing to fetch.
    FakeSource empty{{0}};
    EXPECT_TRUE(FetchSized(buffer, std::ref(empty)));
    EXPECT_EQ(empty.calls, 1);
    EXPECT_TRUE(buffer.empty());

    // A source that wants room but names too small a size is offered more until it is content.
    calls = 0;
    EXPECT_TRUE(FetchSized(buffer, [&](BYTE*, DWORD size, DWORD* needed) {
        ++calls;
        *needed = 0;
        if (size < 100) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        return TRUE;
    }));
    EXPECT_EQ(calls, 4);  // 0, 0 again, 64, then 192 bytes
}

}  // namespace
