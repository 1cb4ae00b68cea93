// TEMPORARY stand-in for MD5File until the real digest lands in util/md5.cpp; delete this file then.
// It steps aside by itself once util/md5.cpp exists, so the two never clash at link time.
#if !__has_include("util/md5.cpp")

#include <windows.h>

// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdio>
#include <vector>

#include "util/handles.h"
#include "util/md5.h"
#include "util/owned.h"

wchar_t* MD5File(const wchar_t* path) {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return nullptr;
    HCRYPTHASH hash = 0;
    bool ok = CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) != FALSE;
    std::vector<BYTE> chunk(1 << 16);
    while (ok) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) ok = false;
        if (!ok || read == 0) break;
        ok = CryptHashData(hash, chunk.data(), read, 0) != FALSE;
    }
    BYTE digest[16] = {};
    DWORD size = sizeof digest;
    if (ok) ok = CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) != FALSE && size == sizeof digest;
    if (hash != 0) CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    if (!ok) return nullptr;
    OwnedText text = AllocText(32);
    for (int i = 0; i < 16; ++i) swprintf(text.get() + 2 * i, 3, L"%02X", digest[i]);
    return text.release();
}

#endif
