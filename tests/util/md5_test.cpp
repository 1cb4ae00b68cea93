#include "util/md5.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/md5_reference.h"
#include "tests/support/test_support.h"

namespace {

// Digest of `bytes` fed to MD5Update in pieces of `piece` bytes (0: all at once), as a report shows it.
std::wstring Digest(const std::string& bytes, size_t piece = 0) {
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
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    return hex;
}

std::wstring FileDigest(const std::wstring& path) {
    const std::wstring digest = MD5File(path.c_str());
    return digest.empty() ? L"(null)" : digest;
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

// RFC 1321's test suite, then lengths on each side of where the length needs a second block (55 bytes
// leave room for it in the same block; 56 to 63 do not): the program's core and the reference agree
// with the published digests.
TEST(Md5, PublishedDigestsAndPaddingBoundaries) {
    const struct {
        std::string bytes;
        std::wstring digest;
    } rows[] = {
        {"", kEmptyMd5},
        {"a", L"0CC175B9C0F1B6A831C399E269772661"},
        {"abc", kAbcMd5},
        {"message digest", L"F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", L"C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         L"57EDF4A22BE3C955AC49DA2E2107B67A"},
        {std::string(55, 'a'), L"EF1772B6DFF9A122358552954AD0DF65"},
        {std::string(56, 'a'), L"3B0C8AC703F828B04C6C197006D17218"},
        {std::string(63, 'a'), L"B06521F39153D618550606BE297466D5"},
        {std::string(64, 'a'), L"014842D480B571495A4A0363793F7367"},
        {std::string(65, 'a'), L"C743A45E0D2E6A95CB859ADAE0248435"},
        {std::string(128, 'a'), L"E510683B3F5FFE4093D021808BC6FF70"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Digest(row.bytes), row.digest) << row.bytes;
        EXPECT_EQ(ReferenceMD5(row.bytes), row.digest) << row.bytes;
    }
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
    std::string bytes = Pattern(100000);
    for (size_t piece : {1, 3, 55, 63, 64, 65, 4096, 16384, 16385}) {
        EXPECT_EQ(Digest(bytes, piece), L"59F08777FCD1AA2B8E0C8F892CFAAE09") << "pieces of " << piece;
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
        const std::wstring expected = ReferenceMD5(bytes);
        EXPECT_EQ(Digest(bytes), expected) << "length " << length;
        // Also fed unevenly, so that blocks complete inside the held bytes and straight from the input.
        EXPECT_EQ(Digest(bytes, 7), expected) << "length " << length << " in pieces of 7";
    }
}

TEST(Md5, FileDigestIsUpperCaseHexOfTheWholeContent) {
    ScratchFolder folder;
    // Several reads of any buffer size up to 64 KiB; and more than the biggest read, so that the content
    // comes in several reads with a partial last one.
    for (const std::string& bytes :
         {std::string(), std::string("abc"), Pattern(100000), std::string(64, 'a'), Pattern((3 << 20) + 5)}) {
        WriteFileBytes(folder / L"file", bytes);
        EXPECT_EQ(FileDigest(folder / L"file"), ReferenceMD5(bytes)) << bytes.size() << " bytes";
    }
}

TEST(Md5, FileThatCannotBeReadGivesNull) {
    ScratchFolder folder;
    EXPECT_EQ(FileDigest(folder / L"missing"), L"(null)");
    EXPECT_EQ(FileDigest(folder.path()), L"(null)");
    WriteFileBytes(folder / L"locked", "x");
    HANDLE locked = CreateFileW((folder / L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileDigest(folder / L"locked"), L"(null)");
    CloseHandle(locked);
    EXPECT_EQ(FileDigest(folder / L"locked"), ReferenceMD5("x"));
}

std::wstring ReadDigest(const ChunkReader& read, uint64_t limit) {
    const std::wstring digest = MD5Read(read, limit);
    return digest.empty() ? L"(null)" : digest;
}

TEST(Md5, ADigestIsOfTheWholeContentOrNothing) {
    const std::string bytes = Pattern(100000);
    // A read that fails after 3 x 4096 bytes (a lock, a failing disk, a provider that stopped) gives no
    // digest, and neither does an end before the size at the open (the file was cut while read): the
    // digest would be of neither version. The same bytes with their own size give their digest.
    const std::string part = bytes.substr(0, 3 * 4096);
    EXPECT_EQ(ReadDigest(PieceReader(part, 4096, part.size()), bytes.size()), L"(null)");
    EXPECT_EQ(ReadDigest(PieceReader(part, 4096), bytes.size()), L"(null)");
    EXPECT_EQ(ReadDigest(PieceReader(part, 4096), part.size()), ReferenceMD5(part));
    EXPECT_EQ(ReadDigest(PieceReader(bytes, 777), bytes.size()), ReferenceMD5(bytes));
    // A failure on the very first read, or where the end would be, is no digest either.
    EXPECT_EQ(ReadDigest(PieceReader("", 10, 0), 100), L"(null)");
    EXPECT_EQ(ReadDigest(PieceReader(bytes, 65536, bytes.size()), bytes.size() + 1), L"(null)");
    // The limit (the size at the open) ends a content that keeps coming, before any failure.
    EXPECT_EQ(ReadDigest(PieceReader(bytes, 4096, bytes.size()), 3), ReferenceMD5(bytes.substr(0, 3)));
}

TEST(Md5, CloudOnlyFilesGiveNoDigest) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"abc", "abc");
    // The attributes of a find decide without an open: the file itself is plain.
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x20), kAbcMd5);
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x00400420), L"");
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x00501620), L"");
    EXPECT_EQ(MD5File((folder / L"abc").c_str(), 0x1020), L"");
}

}  // namespace
