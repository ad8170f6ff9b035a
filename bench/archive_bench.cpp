// archive_bench: the archive component against plain zlib on the same files.
//
//   archive_bench [--quick] [WORKDIR]    (default: ./archive_bench_work)
//
// Generates a corpus of text-like, random and all-zero files from 1 KiB to
// 64 MiB (about 275 MiB), then measures in one run:
//   - Compress at colMax and colDefault against plain deflate of the same
//     files at the same level into one output file;
//   - Extract of every member against plain inflate of the same members
//     writing the same output files;
//   - the peak memory above the process's baseline while one member of 1 GiB
//     is extracted.
// --quick makes every file a quarter of its size and the big member 256 MiB,
// for quick rounds. Each timing is the best of three runs, plain and ours
// taking turns, so that a moment's load on a shared machine counts less.
// The last line is "compress_ratio=<ours/plain> extract_ratio=<ours/plain>"
// (throughput ratios). WORKDIR is removed at the end. The members are stored
// under names relative to the corpus folder, so the figures and the checks
// are the same from any working folder.
#include "archive/cmp_TQnfdCompress.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Corpus {
    std::vector<std::string> files;
    int64_t bytes = 0;
};

// A small fast generator: the corpus is the same in every run.
struct Random {
    uint64_t s;
    uint64_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

void FillText(std::vector<char>& buf, Random& r) {
    static const char* const kWords[] = {"setup",    "install",  "archive", "member",   "header", "disk",
                                         "version",  "folder",   "file",    "the",      "of",     "and",
                                         "to",       "a",        "windows", "system",   "copy",   "extract",
                                         "compress", "progress", "window",  "registry", "shared", "library",
                                         "count",    "date",     "time",    "size",     "offset", "data"};
    size_t i = 0, line = 0;
    while (i < buf.size()) {
        const char* w = kWords[r.Next() % (sizeof kWords / sizeof *kWords)];
        for (const char* p = w; *p && i < buf.size(); ++p)
            buf[i++] = *p;
        if (i < buf.size())
            buf[i++] = (++line % 12 == 0) ? '\n' : ' ';
    }
}

void WriteFile(const std::string& path, const std::vector<char>& data) {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

// Made in the current folder; the files are named without a folder.
Corpus MakeCorpus(int scale) {
    Corpus c;
    struct Size {
        int64_t bytes;
        int count;
    };
    const Size sizes[] = {{64 << 20, 1}, {16 << 20, 1}, {4 << 20, 2},  {1 << 20, 2}, {256 << 10, 4},
                          {64 << 10, 8}, {16 << 10, 8}, {4 << 10, 16}, {1 << 10, 16}};
    Random r{0x9E3779B97F4A7C15ull};
    for (const char* kind : {"text", "random", "zero"}) {
        for (const Size& s : sizes) {
            for (int i = 0; i < s.count; ++i) {
                const int64_t bytes = std::max<int64_t>(1024, s.bytes / scale);
                std::vector<char> data(static_cast<size_t>(bytes), '\0');
                if (kind[0] == 't')
                    FillText(data, r);
                else if (kind[0] == 'r')
                    for (char& ch : data)
                        ch = static_cast<char>(r.Next());
                // Numbered through: the quick round makes the two smallest sizes equal.
                std::string name =
                    std::string(kind) + "_" + std::to_string(bytes) + "_" + std::to_string(c.files.size());
                WriteFile(name, data);
                c.files.push_back(name);
                c.bytes += bytes;
            }
        }
    }
    return c;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "archive_bench: %s\n", what);
        std::exit(1);
    }
}

// Plain zlib: every file deflated at the level into one output file.
double PlainCompress(const Corpus& c, int level, const std::string& out) {
    auto start = Clock::now();
    TFileStream dest(out, fmCreate);
    std::vector<uint8_t> in(65536), buf(65536);
    for (const auto& f : c.files) {
        TFileStream src(f, fmOpenRead);
        z_stream z{};
        Check(deflateInit(&z, level) == Z_OK, "deflateInit");
        int flush;
        do {
            int64_t n = src.Read(in.data(), static_cast<int64_t>(in.size()));
            flush = n < static_cast<int64_t>(in.size()) ? Z_FINISH : Z_NO_FLUSH;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
            do {
                z.next_out = buf.data();
                z.avail_out = static_cast<uInt>(buf.size());
                deflate(&z, flush);
                dest.WriteBuffer(buf.data(), static_cast<int64_t>(buf.size() - z.avail_out));
            } while (z.avail_out == 0);
        } while (flush != Z_FINISH);
        deflateEnd(&z);
    }
    return Seconds(start);
}

double OursCompress(const Corpus& c, TCompressionLevel level, const std::string& archive) {
    auto start = Clock::now();
    TQnfdCompress q;
    q.SetCompressedFile(archive);
    q.CompressionLevel = level;
    for (const auto& f : c.files)
        q.FilesToProcess().Add(f);
    q.Compress(false, 0);
    return Seconds(start);
}

void EmptyFolder(const std::string& dir) {
    for (const auto& n : ListDirectory(dir))
        RemoveFile(dir + "/" + n);
    ForceDirectory(dir);
}

// Plain zlib: every member of the archive inflated into a file of its own.
double PlainExtract(const std::string& archive, const std::string& outDir) {
    TFileHeaders list;
    {
        TFileStream a(archive, fmOpenRead);
        list.LoadFromStream(a, 0);
    }
    EmptyFolder(outDir);
    auto start = Clock::now();
    TFileStream a(archive, fmOpenRead);
    std::vector<uint8_t> in(65536), buf(256 * 1024);
    for (int i = 0; i < list.Count(); ++i) {
        const TFileHeader& h = list.FileHeaders(i);
        TFileStream dest(outDir + "/" + ExtractFileName(h.FileName), fmCreate);
        a.SetPosition(h.DataStart);
        int64_t left = h.CompressedSize;
        z_stream z{};
        Check(inflateInit(&z) == Z_OK, "inflateInit");
        int r = Z_OK;
        while (r != Z_STREAM_END && left > 0) {
            int64_t n = a.Read(in.data(), std::min<int64_t>(left, static_cast<int64_t>(in.size())));
            left -= n;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
            do {
                z.next_out = buf.data();
                z.avail_out = static_cast<uInt>(buf.size());
                r = inflate(&z, Z_NO_FLUSH);
                Check(r >= 0, "inflate");
                dest.WriteBuffer(buf.data(), static_cast<int64_t>(buf.size() - z.avail_out));
            } while (z.avail_out == 0 && r != Z_STREAM_END);
        }
        inflateEnd(&z);
    }
    return Seconds(start);
}

double OursExtract(const std::string& archive, const std::string& outDir) {
    EmptyFolder(outDir);
    TQnfdCompress q;
    q.SetCompressedFile(archive);
    int n = q.FileCount();
    for (int i = 0; i < n; ++i)
        q.FilesToProcess().Add(q.FileStats(i).FileName);
    q.ExtractDirectory = outDir;
    auto start = Clock::now();
    q.Extract();
    return Seconds(start);
}

int64_t StatusKiB(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(f, line))
        if (line.compare(0, n, field) == 0)
            return std::atoll(line.c_str() + n + 1);
    return -1;
}

void RemoveTree(const std::string& dir) {
    for (const std::string& n : ListDirectory(dir)) {
        if (!n.empty() && n.back() == '\\')
            RemoveTree(dir + "/" + n.substr(0, n.size() - 1));
        else
            RemoveFile(dir + "/" + n);
    }
    RemoveDir(dir);
}

double MiBps(int64_t bytes, double seconds) {
    return bytes / 1048576.0 / seconds;
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string work;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (argv[i][0] == '-' || !work.empty()) {
            std::fprintf(stderr, "usage: archive_bench [--quick] [WORKDIR]\n");
            return 2;
        } else
            work = argv[i];
    }
    const std::string home = GetCurrentDir();
    if (work.empty())
        work = "archive_bench_work";
    if (work[0] != '/')
        work = home + "/" + work;
    ForceDirectory(work + "/corpus");
    // The component's scratch files go beside the rest of the work.
#ifdef _WIN32
    // Also the 32-bit and 64-bit Windows builds, under Wine: the ratios of
    // each width against plain zlib of the same width.
    _putenv_s("TMP", work.c_str());
    _putenv_s("TEMP", work.c_str());
#else
    setenv("TMPDIR", work.c_str(), 1);
#endif
    Check(SetCurrentDir(work + "/corpus"), "cannot go into the work folder");

    auto t0 = Clock::now();
    Corpus c = MakeCorpus(quick ? 4 : 1);
    std::printf(
        "corpus: %zu files, %.1f MiB (text-like, random, all-zero; 1 KiB to %d MiB), made in %.1f s\n",
        c.files.size(), c.bytes / 1048576.0, quick ? 16 : 64, Seconds(t0));

    double oursCompress = 0, plainCompress = 0;
    struct Level {
        const char* name;
        TCompressionLevel ours;
        int zlib;
    };
    for (Level l : {Level{"colMax", colMax, 9}, Level{"colDefault", colDefault, -1}}) {
        double plain = 1e30, ours = 1e30;
        for (int rep = 0; rep < 3; ++rep) {
            plain = std::min(plain, PlainCompress(c, l.zlib, work + "/plain.z"));
            ours = std::min(ours, OursCompress(c, l.ours, work + "/" + l.name + ".arc"));
        }
        Check(FileSizeOf(work + "/" + l.name + ".arc") > FileSizeOf(work + "/plain.z"), "archive too small");
        std::printf("compress %-10s  ours %7.1f MiB/s  plain zlib %7.1f MiB/s  ratio %.3f\n", l.name,
                    MiBps(c.bytes, ours), MiBps(c.bytes, plain), plain / ours);
        oursCompress += ours;
        plainCompress += plain;
    }

    double oursExtract = 1e30, plainExtract = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
        plainExtract = std::min(plainExtract, PlainExtract(work + "/colDefault.arc", work + "/out_plain"));
        oursExtract = std::min(oursExtract, OursExtract(work + "/colDefault.arc", work + "/out_ours"));
    }
    for (const auto& f : c.files)
        Check(FileSizeOf(work + "/out_ours/" + ExtractFileName(f)) == FileSizeOf(f),
              "extracted size differs");
    std::printf("extract (colDefault) ours %7.1f MiB/s  plain zlib %7.1f MiB/s  ratio %.3f\n",
                MiBps(c.bytes, oursExtract), MiBps(c.bytes, plainExtract), plainExtract / oursExtract);
    EmptyFolder(work + "/out_ours");
    EmptyFolder(work + "/out_plain");

    // One big member: the memory the extraction needs above the baseline.
    {
        const int bigMiB = quick ? 256 : 1024;
        const std::string big = "big";
        std::vector<char> block(1 << 20);
        Random r{42};
        FillText(block, r);
        {
            TFileStream f(big, fmCreate);
            for (int i = 0; i < bigMiB; ++i)
                f.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
        }
        TQnfdCompress q;
        q.SetCompressedFile(work + "/big.arc");
        q.CompressionLevel = colFastest;
        q.FilesToProcess().Add(big);
        q.Compress(false, 0);
        RemoveFile(big);

        TQnfdCompress x;
        x.SetCompressedFile(work + "/big.arc");
        x.ExtractDirectory = work + "/out_ours";
        x.FilesToProcess().Add(big);
        int64_t sampled = 0;
        int calls = 0;
        x.OnStatus = [&](TQnfdCompress&, const TlzhFileStats&) {
            if (++calls % 16 == 0)
                sampled = std::max(sampled, StatusKiB("VmRSS:"));
        };
        x.FileCount(); // headers read before the baseline
        int64_t baseline = StatusKiB("VmRSS:");
        // Resetting the peak to the current size makes VmHWM the peak of the extraction alone.
        bool reset = static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5");
        auto start = Clock::now();
        x.Extract();
        double took = Seconds(start);
        int64_t peak = std::max(sampled, reset ? StatusKiB("VmHWM:") : sampled);
        Check(FileSizeOf(work + "/out_ours/big") == (int64_t(bigMiB) << 20), "big member not extracted");
        std::printf("%d MiB member extracted in %.1f s (%.1f MiB/s); peak memory above baseline %lld KiB "
                    "(baseline RSS %lld KiB)\n",
                    bigMiB, took, bigMiB / took, static_cast<long long>(peak - baseline),
                    static_cast<long long>(baseline));
    }

    SetCurrentDir(home);
    RemoveTree(work);
    std::printf("compress_ratio=%.3f extract_ratio=%.3f\n", plainCompress / oursCompress,
                plainExtract / oursExtract);
    return 0;
}
