// Registry entries Win32 cannot make or remove: link keys and names holding NULs, made with the
// native API below a test key and removed when the object goes, before the test key's own clean-up
// (which would follow a link into what it points at).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

class NativeKeys {
public:
    explicit NativeKeys(const ScopedKey& key) : key_(key) {}
    ~NativeKeys();
    NativeKeys(const NativeKeys&) = delete;
    NativeKeys& operator=(const NativeKeys&) = delete;

    // A link at `linkPath` (below the test key; its parent must exist) to `targetPath` below the
    // test key (empty: the test key itself).
    void Link(const std::wstring& linkPath, const std::wstring& targetPath);
    // A sub-key of the key at `parentPath` below the test key (empty: the test key), named by the
    // counted `name`, which may hold NULs. Returns its handle, kept open until the object goes.
    HKEY CreateKey(const std::wstring& parentPath, const std::wstring& name);
    HKEY CreateKey(HKEY parent, const std::wstring& name);
    // A value with the counted `name` in an open key.
    void SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, DWORD size);
    void SetString(HKEY key, const std::wstring& name, const std::wstring& text);

private:
    const ScopedKey& key_;
    std::vector<std::wstring> links_;  // paths below the test key
    std::vector<HKEY> created_;        // in creation order
};

// Link loops of every shape below the test key, with string values whose data begins with `mark`:
//   "v"=top; A "a"=1, A\Up -> the test key, A\Self -> A; B "b"=2, B\ToC -> C; C "c"=3, C\ToB -> B;
//   D\X\ToE -> E and E\Y\ToD -> D (each to the other's ancestor); Loop -> Loop (itself).
void MakeLinkLoops(TestKey& key, NativeKeys& native, const std::wstring& mark = {});

// A web of links that never loops below the test key: keys K0 to K<levels - 1>, each holding the
// value "v"="qf30web K<i>" and `leaves` plain sub-keys L0, L1, ... (work to hand to other threads), and each
// but the last two links a and b to the next. A walk that followed every link would list K<i> 2^i times.
void MakeLinkWeb(TestKey& key, NativeKeys& native, int levels, int leaves = 0);

// What the section of `context` writes for `line`, run through the console front end in a process of
// its own: `finished` tells whether it ended within kHangBoundMs. A walk that does not end is stopped
// from outside, so that no thread of the test program is left holding what it took.
std::wstring RunSectionInConsole(const std::wstring& context, const std::wstring& line, bool& finished,
                                 const std::wstring& options = L"--quiet");
