// The few calls of the native registry API that Win32 has no counterpart for: names counted rather
// than NUL-terminated (the native API allows NUL inside names, Win32 cannot open such keys) and the
// resolved name of an open key (after links are followed). Resolved from ntdll at run time, so that
// no header of the native API is needed.
#pragma once

#include <windows.h>

// UNICODE_STRING: a counted name, lengths in bytes.
struct NativeName {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};

// OBJECT_ATTRIBUTES: a name relative to an open key.
struct NativeAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    NativeName* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};

constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr int kKeyNameInformation = 3;  // KEY_NAME_INFORMATION: ULONG NameLength, then the name
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

struct NativeRegistry {
    LONG(WINAPI* openKey)(HANDLE* key, ACCESS_MASK access, NativeAttributes* attributes);
    LONG(WINAPI* queryKey)(HANDLE key, int infoClass, void* info, ULONG size, ULONG* needed);
    LONG(WINAPI* createKey)
    (HANDLE* key, ACCESS_MASK access, NativeAttributes* attributes, ULONG titleIndex, NativeName* keyClass,
     ULONG options, ULONG* disposition);
    LONG(WINAPI* setValueKey)(HANDLE key, NativeName* name, ULONG titleIndex, ULONG type, const void* data, ULONG size);
    LONG(WINAPI* deleteKey)(HANDLE key);
};

// Looks `name` up in ntdll into `slot`; null when ntdll (or the call) is not there.
template <typename Call>
void FindNtdllCall(Call& slot, const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    slot = reinterpret_cast<Call>(reinterpret_cast<void*>(ntdll != nullptr ? GetProcAddress(ntdll, name) : nullptr));
}

// The calls, looked up once; a call ntdll lacks stays null.
inline const NativeRegistry& Native() {
    static const NativeRegistry calls = [] {
        NativeRegistry found{};
        FindNtdllCall(found.openKey, "NtOpenKey");
        FindNtdllCall(found.queryKey, "NtQueryKey");
        FindNtdllCall(found.createKey, "NtCreateKey");
        FindNtdllCall(found.setValueKey, "NtSetValueKey");
        FindNtdllCall(found.deleteKey, "NtDeleteKey");
        return found;
    }();
    return calls;
}

// A counted name over `length` characters of `text` (which must outlive it); false when too long.
inline bool MakeNativeName(NativeName& name, const wchar_t* text, size_t length) {
    if (length > 0x7FFF) return false;
    name.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    name.Buffer = const_cast<PWSTR>(text);
    return true;
}

inline NativeAttributes MakeNativeAttributes(HANDLE root, NativeName* name, ULONG attributes = kObjCaseInsensitive) {
    return NativeAttributes{sizeof(NativeAttributes), root, name, attributes, nullptr, nullptr};
}
