#include "tests/support/md5_reference.h"

#include <cmath>
#include <cstdint>

namespace {

struct ReferenceMd5 {
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

    static uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

    void Transform(const unsigned char* block) {
        static const int kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) {
            x[i] = block[4 * i] | block[4 * i + 1] << 8 | block[4 * i + 2] << 16 |
                   static_cast<uint32_t>(block[4 * i + 3]) << 24;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int k;
            if (i < 16) {
                f = (b & c) | (~b & d);
                k = i;
            } else if (i < 32) {
                f = (b & d) | (c & ~d);
                k = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                k = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                k = (7 * i) % 16;
            }
            // T[i] = floor(2^32 * |sin(i + 1)|)
            uint32_t t = static_cast<uint32_t>(static_cast<uint64_t>(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
            uint32_t sum = a + f + x[k] + t;
            a = d;
            d = c;
            c = b;
            b = b + Rotl(sum, kShifts[i]);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }

    std::wstring Digest(const std::string& bytes) {
        std::string padded = bytes + '\x80';
        while (padded.size() % 64 != 56) padded += '\0';
        uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
        for (int i = 0; i < 8; ++i) padded += static_cast<char>(bits >> (8 * i));
        for (size_t at = 0; at < padded.size(); at += 64) {
            Transform(reinterpret_cast<const unsigned char*>(padded.data()) + at);
        }
        static const wchar_t kHex[] = L"0123456789ABCDEF";
        std::wstring hex;
        for (uint32_t word : state) {
            for (int i = 0; i < 4; ++i) {
                unsigned char byte = static_cast<unsigned char>(word >> (8 * i));
                hex += kHex[byte >> 4];
                hex += kHex[byte & 0xF];
            }
        }
        return hex;
    }
};

}  // namespace

std::wstring ReferenceMD5(const std::string& bytes) { return ReferenceMd5().Digest(bytes); }
