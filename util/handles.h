// Handle guards: one small type per handle kind, each knowing its own "no handle" value and how to
// close it. Movable, never copyable; reassigning closes what was held.
#pragma once

#include <windows.h>

#include <cstdio>
#include <utility>

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    // For out-parameters: closes what is held and hands out the slot.
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Traits::Invalid()); }
    void reset(T value = Traits::Invalid()) {
        if (value_ != Traits::Invalid()) Traits::Close(value_);
        value_ = value;
    }

private:
    T value_ = Traits::Invalid();
};

struct FileHandleTraits {  // CreateFileW and friends
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct KernelHandleTraits {  // processes, threads, tokens
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY key) { RegCloseKey(key); }
};
struct ServiceHandleTraits {
    static SC_HANDLE Invalid() { return nullptr; }
    static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
struct SidTraits {
    static PSID Invalid() { return nullptr; }
    static void Close(PSID sid) { FreeSid(sid); }
};
struct StreamTraits {
    static FILE* Invalid() { return nullptr; }
    static void Close(FILE* stream) { fclose(stream); }
};
struct FontTraits {  // CreateFontW
    static HFONT Invalid() { return nullptr; }
    static void Close(HFONT font) { DeleteObject(font); }
};
template <typename Interface>
struct ComTraits {  // an interface pointer this code holds a reference on
    static Interface* Invalid() { return nullptr; }
    static void Close(Interface* object) { object->Release(); }
};

using FileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using KernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using FindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using RegKey = UniqueHandle<HKEY, RegKeyTraits>;
using ServiceHandle = UniqueHandle<SC_HANDLE, ServiceHandleTraits>;
using SidHandle = UniqueHandle<PSID, SidTraits>;
using Stream = UniqueHandle<FILE*, StreamTraits>;
using FontHandle = UniqueHandle<HFONT, FontTraits>;
template <typename Interface>
using ComPointer = UniqueHandle<Interface*, ComTraits<Interface>>;

// An SRW lock held exclusively for the guard's life.
class SrwExclusive {
public:
    explicit SrwExclusive(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~SrwExclusive() { ReleaseSRWLockExclusive(&lock_); }
    SrwExclusive(const SrwExclusive&) = delete;
    SrwExclusive& operator=(const SrwExclusive&) = delete;

private:
    SRWLOCK& lock_;
};
