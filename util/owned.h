// Owners for the heap texts and lists that the scan's functions hand over to their callers.
#pragma once

#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "util/strings.h"

struct FreeDeleter {
    void operator()(void* block) const { free(block); }
};
struct StringListDeleter {
    void operator()(String* list) const { freeString(list); }
};
struct DStringListDeleter {
    void operator()(DString* list) const { freeStrings(list); }
};

// A wide text allocated with malloc/calloc, released with free.
using OwnedText = std::unique_ptr<wchar_t, FreeDeleter>;
using StringList = std::unique_ptr<String, StringListDeleter>;
using DStringList = std::unique_ptr<DString, DStringListDeleter>;

// A zero-filled text of `length` characters plus the terminator; never null.
inline OwnedText AllocText(size_t length) {
    auto* text = static_cast<wchar_t*>(calloc(length + 1, sizeof(wchar_t)));
    if (text == nullptr) abort();
    return OwnedText(text);
}

// The one text copier: a new terminated copy of `length` characters of `text`; never null.
inline OwnedText CopyText(const wchar_t* text, size_t length) {
    OwnedText copy = AllocText(length);
    if (length != 0) wmemcpy(copy.get(), text, length);
    return copy;
}
inline OwnedText CopyText(const wchar_t* text) { return CopyText(text, wcslen(text)); }
inline OwnedText CopyText(const std::wstring& text) { return CopyText(text.data(), text.size()); }
