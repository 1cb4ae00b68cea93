// The MD5 core alone, built for Linux by bench/md5_core.sh (never part of the Windows build): hashes
// a file read in 1 MiB pieces, or a buffer in memory, so that Wine's read costs and the core's own
// speed can be told apart.
//   md5_core_bench FILE        the file's digest, the wall time and the part spent in MD5Update
//   md5_core_bench --mem MIB N MIB MiB of memory hashed N times by ours and by OpenSSL's MD5 in turn
//                              (same process, same buffer): the least thread CPU time of each, which
//                              time spent waiting for a shared core does not count
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "util/md5.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void PrintDigest(MD5_CTX* context) {
    unsigned char digest[16];
    MD5Final(digest, context);
    for (unsigned char byte : digest) printf("%02x", byte);
}

int HashFile(const char* path) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        perror(path);
        return 1;
    }
    std::vector<unsigned char> chunk(1 << 20);
    MD5_CTX context;
    MD5Init(&context);
    Clock::duration hashing{};
    auto start = Clock::now();
    ssize_t got;
    while ((got = read(fd, chunk.data(), chunk.size())) > 0) {
        auto before = Clock::now();
        MD5Update(&context, chunk.data(), static_cast<uint32_t>(got));
        hashing += Clock::now() - before;
    }
    close(fd);
    double wall = Seconds(Clock::now() - start);
    PrintDigest(&context);
    printf("  %s\nwall %.3f s, of which MD5Update %.3f s\n", path, wall, Seconds(hashing));
    return got < 0 ? 1 : 0;
}

int HashMemory(size_t mib, int rounds) {
    std::vector<unsigned char> data(mib << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    double ours = 1e9, theirs = 1e9;
    unsigned char digest[16], peer[16];
    unsigned int peerLength = 0;
    for (int round = 0; round < rounds; ++round) {
        MD5_CTX context;
        MD5Init(&context);
        double start = ThreadSeconds();
        MD5Update(&context, data.data(), static_cast<uint32_t>(data.size()));
        MD5Final(digest, &context);
        double middle = ThreadSeconds();
        EVP_Digest(data.data(), data.size(), peer, &peerLength, EVP_md5(), nullptr);
        double end = ThreadSeconds();
        if (middle - start < ours) ours = middle - start;
        if (end - middle < theirs) theirs = end - middle;
    }
    if (peerLength != 16 || memcmp(digest, peer, 16) != 0) {
        printf("digests differ from OpenSSL's\n");
        return 1;
    }
    double bytes = static_cast<double>(data.size());
    printf("%zu MiB in memory, best of %d: ours %.4f s (%.0f MB/s), OpenSSL %.4f s (%.0f MB/s), ratio %.3f\n", mib,
           rounds, ours, bytes / ours / 1e6, theirs, bytes / theirs / 1e6, ours / theirs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--mem") == 0) {
        return HashMemory(strtoul(argv[2], nullptr, 10), atoi(argv[3]));
    }
    if (argc == 2) return HashFile(argv[1]);
    fprintf(stderr, "usage: md5_core_bench FILE | --mem MIB ROUNDS\n");
    return 2;
}
