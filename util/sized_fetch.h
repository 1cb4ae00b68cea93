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
// with ERROR_INSUFFICIENT_BUFFER or ERROR_MORE_DATA and sets `needed` to the size it wants, counted in
// `Unit`s like `size`. It is called first with no buffer, then with zero-filled buffers of the size
// asked for. True when a call succeeded; `buffer` then holds its data (nothing when the very first call
// succeeded) and `buffer` is untouched otherwise.
template <typename Unit, typename Fetch>
bool FetchSizedUnits(std::vector<Unit>& buffer, Fetch fetch) {
    constexpr DWORD spare = kFetchSpareBytes / sizeof(Unit);
    DWORD needed = 0;
    if (fetch(nullptr, 0, &needed)) {
        buffer.clear();
        return true;
    }
    DWORD error = GetLastError();
    for (int attempt = 0; attempt < kMaxFetchAttempts; ++attempt) {
        if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
        std::vector<Unit> data(static_cast<size_t>(needed) + spare, Unit{});
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

// Sizes in bytes.
template <typename Fetch>
bool FetchSized(std::vector<BYTE>& buffer, Fetch fetch) {
    return FetchSizedUnits<BYTE>(buffer, fetch);
}

// Sizes in characters, for the calls that count text that way.
template <typename Fetch>
bool FetchSizedText(std::vector<wchar_t>& buffer, Fetch fetch) {
    return FetchSizedUnits<wchar_t>(buffer, fetch);
}

// The same bound for a fetch into buffers the caller keeps (one set serves a whole walk): `fetch()`
// answers ERROR_MORE_DATA after growing its buffers and is then called again. Returns its last answer.
template <typename Fetch>
LONG FetchGrowing(Fetch fetch) {
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxFetchAttempts && status == ERROR_MORE_DATA; ++attempt) status = fetch();
    return status;
}
