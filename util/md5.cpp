#include "util/md5.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The steps form one chain through b: each step's b is the step before's result. Every step first
// adds its message word and constant to a (both known early), and the round functions are written so
// that as few of their operations as possible wait for b.
inline __attribute__((always_inline)) void StepF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x,
                                                 uint32_t t, int s) {
    a += x + t;
    a += d ^ (b & (c ^ d));
    a = b + Rotl(a, s);
}

// (b & d) | (c & ~d) as a sum (the two terms share no bit), so c & ~d joins a before b is known.
inline __attribute__((always_inline)) void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x,
                                                 uint32_t t, int s) {
    a += x + t;
    a += c & ~d;
    a += b & d;
    a = b + Rotl(a, s);
}

inline __attribute__((always_inline)) void StepH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x,
                                                 uint32_t t, int s) {
    a += x + t;
    a += (c ^ d) ^ b;
    a = b + Rotl(a, s);
}

// ~d is ready before b: only the or and the exclusive or wait for it.
inline __attribute__((always_inline)) void StepI(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x,
                                                 uint32_t t, int s) {
    a += x + t;
    a += c ^ (b | ~d);
    a = b + Rotl(a, s);
}

// Compresses `blocks` consecutive 64-byte blocks, keeping the state in registers between them.
void TransformBlocks(uint32_t state[4], const unsigned char* data, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t x[16];
        memcpy(x, data, 64);  // Windows runs little-endian only: the words are the bytes as they lie
        const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

        StepF(a, b, c, d, x[0], 0xd76aa478, 7);
        StepF(d, a, b, c, x[1], 0xe8c7b756, 12);
        StepF(c, d, a, b, x[2], 0x242070db, 17);
        StepF(b, c, d, a, x[3], 0xc1bdceee, 22);
        StepF(a, b, c, d, x[4], 0xf57c0faf, 7);
        StepF(d, a, b, c, x[5], 0x4787c62a, 12);
        StepF(c, d, a, b, x[6], 0xa8304613, 17);
        StepF(b, c, d, a, x[7], 0xfd469501, 22);
        StepF(a, b, c, d, x[8], 0x698098d8, 7);
        StepF(d, a, b, c, x[9], 0x8b44f7af, 12);
        StepF(c, d, a, b, x[10], 0xffff5bb1, 17);
        StepF(b, c, d, a, x[11], 0x895cd7be, 22);
        StepF(a, b, c, d, x[12], 0x6b901122, 7);
        StepF(d, a, b, c, x[13], 0xfd987193, 12);
        StepF(c, d, a, b, x[14], 0xa679438e, 17);
        StepF(b, c, d, a, x[15], 0x49b40821, 22);

        StepG(a, b, c, d, x[1], 0xf61e2562, 5);
        StepG(d, a, b, c, x[6], 0xc040b340, 9);
        StepG(c, d, a, b, x[11], 0x265e5a51, 14);
        StepG(b, c, d, a, x[0], 0xe9b6c7aa, 20);
        StepG(a, b, c, d, x[5], 0xd62f105d, 5);
        StepG(d, a, b, c, x[10], 0x02441453, 9);
        StepG(c, d, a, b, x[15], 0xd8a1e681, 14);
        StepG(b, c, d, a, x[4], 0xe7d3fbc8, 20);
        StepG(a, b, c, d, x[9], 0x21e1cde6, 5);
        StepG(d, a, b, c, x[14], 0xc33707d6, 9);
        StepG(c, d, a, b, x[3], 0xf4d50d87, 14);
        StepG(b, c, d, a, x[8], 0x455a14ed, 20);
        StepG(a, b, c, d, x[13], 0xa9e3e905, 5);
        StepG(d, a, b, c, x[2], 0xfcefa3f8, 9);
        StepG(c, d, a, b, x[7], 0x676f02d9, 14);
        StepG(b, c, d, a, x[12], 0x8d2a4c8a, 20);

        StepH(a, b, c, d, x[5], 0xfffa3942, 4);
        StepH(d, a, b, c, x[8], 0x8771f681, 11);
        StepH(c, d, a, b, x[11], 0x6d9d6122, 16);
        StepH(b, c, d, a, x[14], 0xfde5380c, 23);
        StepH(a, b, c, d, x[1], 0xa4beea44, 4);
        StepH(d, a, b, c, x[4], 0x4bdecfa9, 11);
        StepH(c, d, a, b, x[7], 0xf6bb4b60, 16);
        StepH(b, c, d, a, x[10], 0xbebfbc70, 23);
        StepH(a, b, c, d, x[13], 0x289b7ec6, 4);
        StepH(d, a, b, c, x[0], 0xeaa127fa, 11);
        StepH(c, d, a, b, x[3], 0xd4ef3085, 16);
        StepH(b, c, d, a, x[6], 0x04881d05, 23);
        StepH(a, b, c, d, x[9], 0xd9d4d039, 4);
        StepH(d, a, b, c, x[12], 0xe6db99e5, 11);
        StepH(c, d, a, b, x[15], 0x1fa27cf8, 16);
        StepH(b, c, d, a, x[2], 0xc4ac5665, 23);

        StepI(a, b, c, d, x[0], 0xf4292244, 6);
        StepI(d, a, b, c, x[7], 0x432aff97, 10);
        StepI(c, d, a, b, x[14], 0xab9423a7, 15);
        StepI(b, c, d, a, x[5], 0xfc93a039, 21);
        StepI(a, b, c, d, x[12], 0x655b59c3, 6);
        StepI(d, a, b, c, x[3], 0x8f0ccc92, 10);
        StepI(c, d, a, b, x[10], 0xffeff47d, 15);
        StepI(b, c, d, a, x[1], 0x85845dd1, 21);
        StepI(a, b, c, d, x[8], 0x6fa87e4f, 6);
        StepI(d, a, b, c, x[15], 0xfe2ce6e0, 10);
        StepI(c, d, a, b, x[6], 0xa3014314, 15);
        StepI(b, c, d, a, x[13], 0x4e0811a1, 21);
        StepI(a, b, c, d, x[4], 0xf7537e82, 6);
        StepI(d, a, b, c, x[11], 0xbd3af235, 10);
        StepI(c, d, a, b, x[2], 0x2ad7d2bb, 15);
        StepI(b, c, d, a, x[9], 0xeb86d391, 21);

        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

// Large reads keep the per-call cost of the file system (high under Wine) far below the hashing.
constexpr DWORD kReadSize = 1 << 20;

const wchar_t kHexDigits[] = L"0123456789ABCDEF";

}  // namespace

void MD5Init(MD5_CTX* context) {
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    context->count[0] = context->count[1] = 0;
}

void MD5Update(MD5_CTX* context, const unsigned char* input, uint32_t length) {
    uint32_t held = (context->count[0] >> 3) & 0x3F;
    uint32_t bitsLow = length << 3;
    context->count[0] += bitsLow;
    if (context->count[0] < bitsLow) ++context->count[1];
    context->count[1] += length >> 29;

    if (held != 0) {
        uint32_t room = 64 - held;
        if (length < room) {
            memcpy(context->buffer + held, input, length);
            return;
        }
        memcpy(context->buffer + held, input, room);
        TransformBlocks(context->state, context->buffer, 1);
        input += room;
        length -= room;
    }
    // Whole blocks straight from the input, without copying them through the buffer.
    TransformBlocks(context->state, input, length / 64);
    input += length & ~63u;
    memcpy(context->buffer, input, length & 63u);
}

void MD5Final(unsigned char digest[16], MD5_CTX* context) {
    unsigned char bits[8];
    for (int i = 0; i < 4; ++i) {
        bits[i] = static_cast<unsigned char>(context->count[0] >> (8 * i));
        bits[4 + i] = static_cast<unsigned char>(context->count[1] >> (8 * i));
    }
    // A 0x80 byte, zeros up to 56 bytes into a block, then the length: one or two more blocks.
    static const unsigned char kPadding[64] = {0x80};
    uint32_t held = (context->count[0] >> 3) & 0x3F;
    uint32_t padLength = held < 56 ? 56 - held : 120 - held;
    MD5Update(context, kPadding, padLength);
    MD5Update(context, bits, 8);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<unsigned char>(context->state[i] >> (8 * j));
    }
    memset(context, 0, sizeof *context);
}

std::wstring MD5Read(const ChunkReader& read, uint64_t limit) {
    MD5_CTX context;
    MD5Init(&context);
    // A file that ends before the size it had at the open changed while it was read: its digest would
    // be of neither version.
    const ReadEnd end = ReadChunks(read, limit, kReadSize, [&](const unsigned char* bytes, DWORD count) {
        MD5Update(&context, bytes, count);
        return true;
    });
    if (end != ReadEnd::kWhole) return {};
    unsigned char digest[16];
    MD5Final(digest, &context);

    std::wstring text(32, L'0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kHexDigits[digest[i] >> 4];
        text[2 * i + 1] = kHexDigits[digest[i] & 0xF];
    }
    return text;
}

namespace {

std::wstring MD5Opened(const DiskFile& file) {
    if (!file) return {};
    // Up to the size at the open: a file that another writer keeps growing still ends.
    return MD5Read(HandleReader(file.handle.get()), file.size());
}

}  // namespace

std::wstring MD5File(const wchar_t* path, DWORD attributes) { return MD5Opened(OpenFileContent(path, attributes)); }

std::wstring MD5FileAt(HANDLE parent, const std::wstring& name, DWORD attributes) {
    return MD5Opened(OpenFileContentAt(parent, name, attributes));
}
