// A scratch folder for one test, removed with everything in it afterwards.
#pragma once
#include "platform/routines_Files.h"
#include <atomic>
#include <stdexcept>
#include <string>

class TTempFolder {
public:
    TTempFolder() {
        static std::atomic<int> counter{0};
        std::string temp = TempDirectory();
        for (int attempt = 0; !temp.empty() && attempt < 1000; ++attempt) {
            std::string path = temp + "qfdtest_" +
                               std::to_string(static_cast<long long>(Now() * 1e7) % 100000000) + "_" +
                               std::to_string(counter++);
            if (CreateDir(path)) {
                FPath = AddBackslash(path);
                return;
            }
        }
        // A name that failed may be another program's folder: never take it (and remove it) as ours.
        throw std::runtime_error("Cannot create a temporary folder in \"" + temp + "\"");
    }
    ~TTempFolder() { RemoveTree(FPath); }
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return FPath + name; }

    // Removes dir and everything in it; a link or junction inside goes
    // itself, never what it points at.
    static void RemoveTree(const std::string& dir) {
        for (const std::string& n : ListDirectory(dir)) {
            std::string path = AddBackslash(dir) + n;
            if (IsLink(path)) {
                if (!RemoveDir(RemoveBackslash(path)))
                    RemoveFile(RemoveBackslash(path));
            } else if (!n.empty() && n.back() == '\\') {
                RemoveTree(path);
            } else {
                SetFileReadOnly(AddBackslash(dir) + n, false);
                RemoveFile(AddBackslash(dir) + n);
            }
        }
        RemoveDir(RemoveBackslash(dir));
    }

private:
    std::string FPath;
};

inline void WriteTextFile(const std::string& path, const std::string& text) {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

inline std::string ReadWholeFile(const std::string& path) {
    TFileStream f(path, fmOpenRead);
    std::string s(static_cast<size_t>(f.Size()), '\0');
    f.ReadBuffer(s.data(), static_cast<int64_t>(s.size()));
    return s;
}
