// The size query and fetch of variable-size platform data, as one loop: when the data grows between
// the query and the fetch, the fetch is made again with the new size, a bounded number of times.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

// Refetches allowed while the data keeps growing.
constexpr int kMaxFetchAttempts = 8;
// Zero bytes kept after the fetched data, so that every text in it is terminated.
constexpr DWORD kFetchSpareBytes = 2 * sizeof(wchar_t);

// `fetch(data, size, &needed)` is a platform call in the usual form: given too little room it fails
// with ERROR_INSUFFICIENT_BUFFER or ERROR_MORE_DATA and sets `needed` to the size in bytes it wants.
// It is called first with no buffer, then with zero-filled buffers of the size asked for. True when a
// call succeeded; `buffer` then holds its data (nothing when the very first call succeeded) and
// `buffer` is untouched otherwise.
template <typename Fetch>
bool FetchSized(std::vector<BYTE>& buffer, Fetch fetch) {
    DWORD needed = 0;
    if (fetch(nullptr, 0, &needed)) {
        buffer.clear();
        return true;
    }
    DWORD error = GetLastError();
    for (int attempt = 0; attempt < kMaxFetchAttempts; ++attempt) {
        if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
        std::vector<BYTE> data(static_cast<size_t>(needed) + kFetchSpareBytes, 0);
        DWORD grown = 0;
        if (fetch(data.data(), needed, &grown)) {
            buffer.swap(data);
            return true;
        }
        error = GetLastError();
        // A call that asks for no more than it had still failed for want of room: offer more anyway.
        needed = grown > needed ? grown : needed * 2 + 64;
    }
    return false;
}
