// checksum_bench: what the self-extracting file's check of itself costs.
//
//   checksum_bench [--quick] [WORKDIR]    (default: ./checksum_bench_work)
//   checksum_bench --file SETUP.EXE
//
// Writes a self-extracting file of 150 MiB as the build makes it (a PE front
// of 512 KiB, 150 MiB of archives, half text-like and half random, the
// padding and the record with its checksum), or takes the one given with
// --file (a real distribution; bench/checksum_install_bench builds this
// program for Windows and runs it so under Wine), then measures, best of
// five with the file in the system's cache as it is right after a download:
//   - read: every byte read in blocks of 1 MiB, the least any check costs;
//   - verify: the loading program's check (VerifyExtractionChecksum).
// --quick makes the file 15 MiB. The last line is
// "verify_seconds=<s> read_seconds=<s> verify_mib_per_s=<n>". Built for
// Windows it also measures what a web distribution's check of a download of
// that size costs: the SHA-256 of the whole file through the system's
// provider (Sha256OfFile), best of three, on a line before it:
// "digest_seconds=<s> digest_mib_per_s=<n>". WORKDIR is removed at the end.
#include "archive/types_ExtractionInfo.h"
#include "platform/routines_Files.h"
#ifdef _WIN32
#include "platform/routines_Hash.h"
#endif
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The file: a front with a PE header, the archives, zeros, the sealed record.
int64_t MakeFile(const std::string& path, int64_t archiveBytes) {
    TFileStream f(path, fmCreate);
    std::vector<uint8_t> block(1 << 20, 'L');
    block[0] = 'M';
    block[1] = 'Z';
    block[0x3C] = 0x80;
    std::memcpy(&block[0x80], "PE\0\0", 4);
    block[0x80 + 20] = 240;
    block[0x80 + 24] = 0x0B;
    block[0x80 + 25] = 0x02;
    block[0x80 + 24 + 108] = 16;
    std::memset(&block[0x80 + 24 + 144], 0, 8); // not signed
    f.WriteBuffer(block.data(), 512 * 1024);
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    const char* const words[] = {"setup ", "install ", "archive ", "member ", "header ", "the ", "of "};
    for (int64_t written = 0; written < archiveBytes;) {
        const bool text = written < archiveBytes / 2;
        for (size_t i = 0; i < block.size();) {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            if (text) {
                const char* w = words[seed % 7];
                const size_t n = std::min(std::strlen(w), block.size() - i);
                std::memcpy(&block[i], w, n);
                i += n;
            } else {
                block[i++] = static_cast<uint8_t>(seed);
            }
        }
        const int64_t n = std::min<int64_t>(static_cast<int64_t>(block.size()), archiveBytes - written);
        f.WriteBuffer(block.data(), n);
        written += n;
    }
    TExtractionInfo info;
    info.Setup1Start = 512 * 1024;
    info.Setup1End = info.Setup1Start + 4 * 1024 * 1024 - 1;
    info.Files1Start = info.Setup1End + 1;
    info.Files1End = static_cast<Integer>(f.Position() - 1);
    info.ProductTitle = "Bench Screen Saver";
    const uint8_t zeros[8] = {};
    f.WriteBuffer(zeros, (8 - (f.Position() + kExtractionInfoSize) % 8) % 8);
    const int64_t at = f.Position();
    if (!SealExtractionInfo(f, at, info))
        return -1;
    f.SetPosition(at);
    WriteExtractionInfo(f, info);
    return f.Size();
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string dir = "checksum_bench_work", given;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--file") == 0 && i + 1 < argc)
            given = argv[++i];
        else
            dir = argv[i];
    }
    const int64_t mib = quick ? 15 : 150;
    std::string path = given;
    int64_t size = 0;
    if (given.empty()) {
        ForceDirectory(dir);
        path = dir + "/setup.exe";
        size = MakeFile(path, mib * 1024 * 1024);
        if (size < 0) {
            std::fprintf(stderr, "cannot seal %s\n", path.c_str());
            return 1;
        }
    } else {
        size = FileSizeOf(path);
    }
    double verify = 1e9, read = 1e9;
    bool ok = true;
    std::vector<uint8_t> block(1 << 20);
    for (int round = 0; round < 5; ++round) {
        {
            TFileStream f(path, fmOpenRead | fmShareDenyNone);
            const auto start = Clock::now();
            while (f.Read(block.data(), static_cast<int64_t>(block.size())) > 0) {
            }
            read = std::min(read, Seconds(start));
        }
        TFileStream f(path, fmOpenRead | fmShareDenyNone);
        const auto start = Clock::now();
        TExtractionInfoBytes bytes;
        int64_t end = 0;
        ok = ok && ReadExtractionInfoBytes(f, bytes, end) &&
             VerifyExtractionChecksum(f, end, bytes) == TExtractionInfoState::eiValid &&
             DecodeExtractionInfo(bytes).HasChecksum;
        verify = std::min(verify, Seconds(start));
    }
#ifdef _WIN32
    double digest = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        Sha256OfFile(path);
        digest = std::min(digest, Seconds(start));
    }
#endif
    if (given.empty()) {
        RemoveFile(path);
        RemoveDir(dir);
    }
    if (!ok) {
        std::fprintf(stderr, "the file carries no checksum or does not verify\n");
        return 1;
    }
    std::printf("file: %lld bytes\n", static_cast<long long>(size));
#ifdef _WIN32
    std::printf("digest_seconds=%.3f digest_mib_per_s=%.0f\n", digest,
                static_cast<double>(size) / (1024.0 * 1024.0) / digest);
#endif
    std::printf("verify_seconds=%.3f read_seconds=%.3f verify_mib_per_s=%.0f\n", verify, read,
                static_cast<double>(size) / (1024.0 * 1024.0) / verify);
    return 0;
}
