// qarc: looks inside setup archives without running a setup. Lists, tests
// and extracts members, creates or appends archives, and splits an archive
// into disk files of a given size.
#include "qarc.h"
#include "archive/cmp_TQnfdCompress.h"
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kHelp = R"(qarc - look inside, test, build and split setup archives

usage:
  qarc list    ARCHIVE [--offset N]
  qarc test    ARCHIVE [--offset N]
  qarc extract ARCHIVE FOLDER [--overwrite RULE] [--offset N] [MEMBER...]
  qarc create  ARCHIVE [--level LEVEL] [--id N] FILE...
  qarc add     ARCHIVE [--level LEVEL] [--id N] FILE...
  qarc split   ARCHIVE FOLDER --size BYTES [--name NAME] [--offset N]
  qarc --help

commands:
  list     one line per member: number, size, compressed size, ratio, date,
           file version, identifier, disks (first-last, "-" in a one-file
           archive) and the stored path
  test     inflates every member and checks it comes to its recorded size;
           nothing is written
  extract  writes members (all, or those whose stored paths are given) into
           FOLDER under their file names
  create   makes a new archive of FILEs (an existing one is replaced)
  add      appends FILEs to an existing archive (creates it when missing)
  split    copies a one-file archive into disk files NAME.1, NAME.2, ... of at
           most BYTES each in FOLDER; disk 1 holds the headers. A disk set is
           read by naming its .1 file; the others must lie beside it.

options:
  --offset N      the archive starts at byte N of the file (an archive
                  appended to a self-extracting setup.exe); default 0
  --overwrite R   always (default), never, version, date or versiondate:
                  what to do with a file that already exists in FOLDER
  --level L       none, fastest, default or max (default max)
  --id N          identifier of the added members (default 0; 0..1999 can
                  be looked up by identifier)
  --size BYTES    largest disk file, at least 8k; a number with an
                  optional k or m (1024 or 1048576), e.g. 1457664 or 1423k
  --name NAME     name of the disk files (default: the archive's name)

The exit status is 0 on success, 1 when the archive or a member fails, 2 for
a wrong command line.
)";

// Names and versions come from the archive: control characters in them must
// not reach the terminal.
std::string Printable(std::string s) {
    for (char& ch : s)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            ch = '?';
    return s;
}

// A path on this machine, written with this platform's separator only.
std::string LocalPath(std::string s) {
#ifdef _WIN32
    std::replace(s.begin(), s.end(), '/', '\\');
#else
    std::replace(s.begin(), s.end(), '\\', '/');
#endif
    return s;
}

// A damaged member's message names it; what was wrong follows.
std::string Explain(const Exception& e) {
    if (const auto* damaged = dynamic_cast<const EqcDamagedMember*>(&e))
        return e.Message() + " (" + damaged->Cause() + ")";
    return e.Message();
}

struct UsageError {
    std::string message;
};

struct Args {
    std::string command;
    std::vector<std::string> positional;
    int32_t offset = 0;
    TOverwriteType overwrite = owAlways;
    TCompressionLevel level = colMax;
    int32_t id = 0;
    int64_t size = -1;
    std::string name;
};

int32_t ParseInt(const std::string& option, const std::string& text) {
    int32_t v;
    if (!TryStrToInt(text, v) || v < 0)
        throw UsageError{option + " needs a number of 0 or more, not \"" + text + "\""};
    return v;
}

int64_t ParseSize(const std::string& text) {
    std::string t = LowerCase(Trim(text));
    int64_t unit = 1;
    if (!t.empty() && (t.back() == 'k' || t.back() == 'm')) {
        unit = t.back() == 'k' ? 1024 : 1024 * 1024;
        t.pop_back();
    }
    int32_t v;
    // A new disk must take the rest of one 8 KiB chunk.
    if (!TryStrToInt(t, v) || v <= 0 || static_cast<int64_t>(v) * unit > INT32_MAX ||
        static_cast<int64_t>(v) * unit < 8192)
        throw UsageError{"--size needs a size from 8k to 2 GB, not \"" + text + "\""};
    return v * unit;
}

Args ParseArgs(const std::vector<std::string>& argv) {
    Args a;
    if (argv.empty())
        throw UsageError{"no command given"};
    a.command = argv[0];
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& s = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argv.size())
                throw UsageError{s + " needs a value"};
            return argv[++i];
        };
        if (s == "--offset") {
            a.offset = ParseInt(s, value());
        } else if (s == "--overwrite") {
            std::string v = LowerCase(value());
            static const std::pair<const char*, TOverwriteType> kRules[] = {{"always", owAlways},
                                                                            {"never", owNever},
                                                                            {"version", owVersion},
                                                                            {"date", owDate},
                                                                            {"versiondate", owVersionDate}};
            bool found = false;
            for (const auto& [n, r] : kRules)
                if (v == n) {
                    a.overwrite = r;
                    found = true;
                }
            if (!found)
                throw UsageError{"unknown overwrite rule \"" + v + "\""};
        } else if (s == "--level") {
            std::string v = LowerCase(value());
            static const std::pair<const char*, TCompressionLevel> kLevels[] = {
                {"none", colNone}, {"fastest", colFastest}, {"default", colDefault}, {"max", colMax}};
            bool found = false;
            for (const auto& [n, l] : kLevels)
                if (v == n) {
                    a.level = l;
                    found = true;
                }
            if (!found)
                throw UsageError{"unknown level \"" + v + "\""};
        } else if (s == "--id") {
            a.id = ParseInt(s, value());
        } else if (s == "--size") {
            a.size = ParseSize(value());
        } else if (s == "--name") {
            a.name = value();
        } else if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
            throw UsageError{"unknown option " + s};
        } else {
            a.positional.push_back(s);
        }
    }
    return a;
}

void Need(const Args& a, size_t least, const char* what) {
    if (a.positional.size() < least)
        throw UsageError{std::string("qarc ") + a.command + " needs " + what};
}

std::string DateText(TDateTime d) {
    int y, mo, dd, h, mi, s, ms;
    DecodeDateTime(d, y, mo, dd, h, mi, s, ms);
    return Format("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", {y, mo, dd, h, mi, s});
}

// The disk files of a split set are at most Size bytes.
class TSplitter : public TQnfdCompress {
public:
    int64_t Size = 0;

protected:
    std::unique_ptr<TStream> OpenFile(const std::string& name, uint32_t mode, TqcFileRole role) override {
        auto s = TQnfdCompress::OpenFile(name, mode, role);
        if (role != TqcFileRole::DiskFile)
            return s;
        return std::make_unique<TLimited>(std::move(s), Size);
    }

private:
    class TLimited : public TStream {
    public:
        TLimited(std::unique_ptr<TStream> s, int64_t cap) : FStream(std::move(s)), FCap(cap) {}
        int64_t Read(void* b, int64_t n) override { return FStream->Read(b, n); }
        int64_t Write(const void* b, int64_t n) override {
            int64_t room = FCap - FStream->Position();
            return room <= 0 ? 0 : FStream->Write(b, std::min(n, room));
        }
        int64_t Seek(int64_t o, TSeekOrigin origin) override { return FStream->Seek(o, origin); }

    private:
        std::unique_ptr<TStream> FStream;
        int64_t FCap;
    };
};

void OpenArchive(TQnfdCompress& c, const Args& a) {
    c.SetCompressedFile(LocalPath(a.positional[0]));
    c.Offset = a.offset;
}

int List(const Args& a) {
    Need(a, 1, "an archive");
    TQnfdCompress c;
    OpenArchive(c, a);
    int n = c.FileCount();
    std::printf("%-5s %12s %12s %5s  %-19s  %-20s %5s  %-7s %s\n", "#", "size", "compressed", "ratio", "date",
                "version", "id", "disks", "stored path");
    for (int i = 0; i < n; ++i) {
        TlzhFileStats s = c.FileStats(i);
        TFileHeader h;
        h.SetRecord(s.Header);
        std::string disks =
            h.StartDisk == 0 ? "-"
                             : Format("%d-%d", {static_cast<int>(h.StartDisk), static_cast<int>(h.EndDisk)});
        std::printf("%-5d %12d %12d %4d%%  %-19s  %-20s %5d  %-7s %s\n", i + 1, h.FileSize, h.CompressedSize,
                    static_cast<int>(s.Ratio), DateText(h.FileDate).c_str(), Printable(h.FileVersion).c_str(),
                    h.FileID, disks.c_str(), Printable(h.FileName).c_str());
    }
    TlzhFileStats total;
    if (n > 0)
        total = c.FileStats(0);
    std::printf("%d member(s), %lld bytes, %lld compressed\n", n, static_cast<long long>(total.TotalSize),
                static_cast<long long>(total.TotalCompressed));
    return 0;
}

int Test(const Args& a) {
    Need(a, 1, "an archive");
    TQnfdCompress c;
    OpenArchive(c, a);
    int n = c.FileCount(), failed = 0;
    for (int i = 0; i < n; ++i) {
        std::string name = Printable(c.FileStats(i).FileName);
        try {
            c.TestMember(i);
            std::printf("ok      %s\n", name.c_str());
        } catch (const Exception& e) {
            ++failed;
            std::printf("FAILED  %s: %s\n", name.c_str(), Explain(e).c_str());
        }
    }
    std::printf("%d member(s) tested, %d failed\n", n, failed);
    return failed ? 1 : 0;
}

int Extract(const Args& a) {
    Need(a, 2, "an archive and a folder");
    TQnfdCompress c;
    OpenArchive(c, a);
    c.ExtractDirectory = LocalPath(a.positional[1]);
    c.Overwrite = a.overwrite;
    // Members are taken by position: a stored path need not be printable, nor
    // tell its member apart from the others. A named member is looked up by
    // its stored path as given.
    std::vector<int> members;
    const int count = c.FileCount();
    if (a.positional.size() == 2) {
        for (int i = 0; i < count; ++i)
            members.push_back(i);
    }
    for (size_t k = 2; k < a.positional.size(); ++k) {
        int i = c.IndexOfPath(a.positional[k]);
        if (i < 0)
            throw EQnfdCompress(Format("The file <%s> was not found in the archive <%s>",
                                       {Printable(a.positional[k]), c.CompressedFile()}));
        if (std::find(members.begin(), members.end(), i) == members.end())
            members.push_back(i);
    }
    bool existed = false, replaced = false;
    c.OnBeforeExtracting = [&](TQnfdCompress& q, const TlzhFileStats&) {
        existed = FileExists(AddBackslash(q.ExtractDirectory) + ExtractFileName(q.DestName));
        replaced = false;
    };
    c.OnReplace = [&](TQnfdCompress&, const TlzhFileStats&) { replaced = true; };
    int written = 0, kept = 0;
    for (int i : members) {
        const std::string name = Printable(c.FileStats(i).FileName);
        try {
            c.ExtractMembers({i});
        } catch (const Exception& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "qarc: %s: %s\n", name.c_str(), Explain(e).c_str());
            return 1;
        }
        // Printed once the member is in place (or the old file was kept).
        const bool keptOld = existed && !replaced;
        ++(keptOld ? kept : written);
        std::printf("%-9s %s\n", keptOld ? "kept" : "extracted", name.c_str());
    }
    std::printf("%d extracted, %d existing file(s) kept\n", written, kept);
    return 0;
}

int Create(const Args& a, bool append) {
    Need(a, 2, "an archive and at least one file");
    TQnfdCompress c;
    const std::string archive = LocalPath(a.positional[0]);
    c.SetCompressedFile(archive);
    c.CompressionLevel = a.level;
    c.OnAfterAdding = [](TQnfdCompress&, const TlzhFileStats& s) {
        std::printf("added  %s (%d -> %d bytes)\n", Printable(s.FileName).c_str(), s.FileSize,
                    s.CompressedSize);
    };
    for (size_t i = 1; i < a.positional.size(); ++i)
        c.FilesToProcess().Add(a.positional[i]);
    c.Compress(append, a.id);
    TQnfdCompress check;
    check.SetCompressedFile(archive);
    std::printf("%s holds %d member(s)\n", archive.c_str(), check.FileCount());
    return 0;
}

int Split(const Args& a) {
    Need(a, 2, "an archive and a folder");
    if (a.size < 0)
        throw UsageError{"qarc split needs --size"};
    TSplitter c;
    OpenArchive(c, a);
    c.Size = a.size;
    c.OnNewDisk = [](TQnfdCompress&, int disk, std::string&) { std::printf("disk %d\n", disk); };
    std::string name = a.name.empty() ? ExtractFileName(a.positional[0]) : a.name;
    const std::string folder = LocalPath(a.positional[1]);
    c.SpanToDisks(folder, name);
    std::printf("split into %s\n", LocalPath(AddBackslash(folder) + ChangeFileExt(name, ".*")).c_str());
    return 0;
}

} // namespace

int QarcRun(const std::vector<std::string>& argv) {
    try {
        for (const auto& s : argv)
            if (s == "--help" || s == "-h" || s == "/?") {
                std::fputs(kHelp, stdout);
                return 0;
            }
        Args a = ParseArgs(argv);
        if (a.command == "list")
            return List(a);
        if (a.command == "test")
            return Test(a);
        if (a.command == "extract")
            return Extract(a);
        if (a.command == "create")
            return Create(a, false);
        if (a.command == "add")
            return Create(a, true);
        if (a.command == "split")
            return Split(a);
        throw UsageError{"unknown command \"" + a.command + "\""};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "qarc: %s (qarc --help explains the commands)\n", e.message.c_str());
        return 2;
    } catch (const Exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "qarc: %s\n", e.Message().c_str());
        return 1;
    }
}
