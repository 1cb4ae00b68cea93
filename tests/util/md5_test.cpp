#include "util/md5.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

// Digest of `bytes` fed to MD5Update in pieces of `piece` bytes (0: all at once).
std::string Digest(const std::string& bytes, size_t piece = 0) {
    MD5_CTX context;
    MD5Init(&context);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t step = piece == 0 ? bytes.size() : piece;
    for (size_t at = 0; at < bytes.size(); at += step) {
        size_t count = bytes.size() - at < step ? bytes.size() - at : step;
        MD5Update(&context, data + at, static_cast<uint32_t>(count));
    }
    unsigned char digest[16];
    MD5Final(digest, &context);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    return hex;
}

// RFC 1321 as written there: the reference the fast core is held to.
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

    std::string Digest(const std::string& bytes) {
        std::string padded = bytes + '\x80';
        while (padded.size() % 64 != 56) padded += '\0';
        uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
        for (int i = 0; i < 8; ++i) padded += static_cast<char>(bits >> (8 * i));
        for (size_t at = 0; at < padded.size(); at += 64) {
            Transform(reinterpret_cast<const unsigned char*>(padded.data()) + at);
        }
        static const char kHex[] = "0123456789abcdef";
        std::string hex;
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

// What the program must give for `bytes`: the reference's digest in the report's upper case.
std::string ExpectedDigest(const std::string& bytes) {
    std::string hex = ReferenceMd5().Digest(bytes);
    for (char& c : hex) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return hex;
}

std::string FileDigest(const std::wstring& path) {
    const std::wstring digest = MD5File(path.c_str());
    return digest.empty() ? "(null)" : Narrow(digest);
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Digest("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PaddingBoundaries) {
    // 55 bytes leave room for the length in the same block; 56 to 63 need a second one.
    EXPECT_EQ(Digest(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Digest(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Digest(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
    EXPECT_EQ(Digest(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(Digest(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
    EXPECT_EQ(Digest(std::string(128, 'a')), "e510683b3f5ffe4093d021808bc6ff70");
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
    std::string bytes = Pattern(100000);
    for (size_t piece : {1, 3, 55, 63, 64, 65, 4096, 16384, 16385}) {
        EXPECT_EQ(Digest(bytes, piece), "59f08777fcd1aa2b8e0c8f892cfaae09") << "pieces of " << piece;
    }
}

TEST(Md5, EveryLengthAroundTheBlockBoundariesMatchesTheReference) {
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 130; ++length) lengths.push_back(length);
    for (size_t length : {1000, 4095, 4096, 4097}) lengths.push_back(length);
    for (size_t length : lengths) {
        // Bytes that differ from block to block, with the high bit set in some of them.
        std::string bytes(length, '\0');
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + length) & 0xFF);
        std::string expected = ReferenceMd5().Digest(bytes);
        EXPECT_EQ(Digest(bytes), expected) << "length " << length;
        // Also fed unevenly, so that blocks complete inside the held bytes and straight from the input.
        EXPECT_EQ(Digest(bytes, 7), expected) << "length " << length << " in pieces of 7";
    }
}

TEST(Md5, FileDigestIsUpperCaseHexOfTheWholeContent) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"empty", "");
    WriteFileBytes(folder / L"abc", "abc");
    const std::string large = Pattern(100000);  // several reads of any buffer size up to 64 KiB
    // Larger than the biggest read, so the content comes in several reads with a partial last one.
    const std::string huge = Pattern((3 << 20) + 5);
    WriteFileBytes(folder / L"large", large);
    WriteFileBytes(folder / L"64", std::string(64, 'a'));
    WriteFileBytes(folder / L"huge", huge);
    EXPECT_EQ(FileDigest(folder / L"empty"), "D41D8CD98F00B204E9800998ECF8427E");  // RFC 1321's own
    EXPECT_EQ(FileDigest(folder / L"abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(FileDigest(folder / L"large"), ExpectedDigest(large));
    EXPECT_EQ(FileDigest(folder / L"64"), ExpectedDigest(std::string(64, 'a')));
    EXPECT_EQ(FileDigest(folder / L"huge"), ExpectedDigest(huge));
}

TEST(Md5, FileThatCannotBeReadGivesNull) {
    ScratchFolder folder;
    EXPECT_EQ(FileDigest(folder / L"missing"), "(null)");
    EXPECT_EQ(FileDigest(folder.path()), "(null)");
    WriteFileBytes(folder / L"locked", "x");
    HANDLE locked = CreateFileW((folder / L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileDigest(folder / L"locked"), "(null)");
    CloseHandle(locked);
    EXPECT_EQ(FileDigest(folder / L"locked"), ExpectedDigest("x"));
}

std::string ReadDigest(const ChunkReader& read, uint64_t limit) {
    const std::wstring digest = MD5Read(read, limit);
    return digest.empty() ? "(null)" : Narrow(digest);
}

TEST(Md5, ADigestIsOfTheWholeContentOrNothing) {
    const std::string bytes = Pattern(100000);
    // A read that fails after 3 x 4096 bytes (a lock, a failing disk, a provider that stopped) gives no
    // digest, and neither does an end before the size at the open (the file was cut while read): the
    // digest would be of neither version. The same bytes with their own size give their digest.
    const std::string part = bytes.substr(0, 3 * 4096);
    EXPECT_EQ(ReadDigest(PieceReader(part, 4096, part.size()), bytes.size()), "(null)");
    EXPECT_EQ(ReadDigest(PieceReader(part, 4096), bytes.size()), "(null)");
    EXPECT_EQ(ReadDigest(PieceReader(part, 4096), part.size()), ExpectedDigest(part));
    EXPECT_EQ(ReadDigest(PieceReader(bytes, 777), bytes.size()), ExpectedDigest(bytes));
    // A failure on the very first read, or where the end would be, is no digest either.
    EXPECT_EQ(ReadDigest(PieceReader("", 10, 0), 100), "(null)");
    EXPECT_EQ(ReadDigest(PieceReader(bytes, 65536, bytes.size()), bytes.size() + 1), "(null)");
    // The limit (the size at the open) ends a content that keeps coming, before any failure.
    EXPECT_EQ(ReadDigest(PieceReader(bytes, 4096, bytes.size()), 3), ExpectedDigest(bytes.substr(0, 3)));
}

TEST(Md5, CloudOnlyFilesGiveNoDigest) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"abc", "abc");
    // The attributes of a find decide without an open: the file itself is plain.
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x20), L"900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x00400420), L"");
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x00501620), L"");
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x1020), L"");
}

}  // namespace
