#include "engine/routines_InstallCheck.h"
#include "dialogs/routines_DriveSpace.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"
#include "platform/routines_Files.h"
#include "platform/routines_FolderProbe.h"
#include "platform/routines_Strings.h"
#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

namespace {
const char* const kTooLittleRoom =
    "There is not enough free space on drive %s for the installation: %s are needed and %s are free";
const char* const kFolderInTheWay = "The file %s cannot be installed: a folder of that name is in its place";
const char* const kFileInTheWay = "The folder %s cannot be made: %s is a file";
const char* const kNotWritable = "Nothing can be written into the folder %s: %s";
const char* const kCannotMake = "The folder %s cannot be made: %s";
const char* const kMemberMissing = "The file <%s> was not found in the archive <%s>";

// The usual cluster of the file systems a product goes to.
constexpr int64_t kCluster = 4096;
// More shortfalls than this would make a box taller than the screen.
constexpr size_t kMostShown = 5;

using TProblems = std::vector<std::string>;

void Problem(TProblems& problems, std::string text) {
    LogLine("Check", text);
    problems.push_back(std::move(text));
}

int64_t FreeBytesOf(const std::string& root) {
    const auto& seam = InstallCheckSeams().FreeBytes;
    return seam ? seam(root) : DiskFreeBytes(root);
}

uint32_t FolderWritable(const std::string& folder, bool newFolder) {
    const auto& seam = InstallCheckSeams().FolderWritable;
    return seam ? seam(folder, newFolder) : TestFolderWritable(folder, newFolder);
}

// In the order Install would reach them: a container that is not selected
// installs none of its objects.
void CollectPlans(TInstallContainer& c, std::vector<TFileInstallPlan>& plans) {
    if (!c.WillInstall())
        return;
    if (auto* f = dynamic_cast<TCustomInstallFile*>(&c)) {
        TFileInstallPlan plan;
        if (f->PlanInstall(plan))
            plans.push_back(std::move(plan));
    }
    for (int i = 0; i < c.HelperCount(); ++i)
        if (TInstallContainer* h = c.Helpers(i); h->Installable())
            CollectPlans(*h, plans);
}

// The archive component that the install step would read the member with:
// the shared one for the installation's own archive (it knows where the
// archive starts inside a self-extracting file), else one per archive.
class TArchives {
public:
    explicit TArchives(TFileContainer& install) : FInstall(install) {}
    TQnfdCompress& For(const std::string& path) {
        // Asked as the install step asks it, once there is a local member.
        if (!FMain)
            FMain = FInstall.ExpandedArchiveFile();
        if (SameText(path, *FMain))
            return SharedArchive();
        for (auto& [name, archive] : FOwn)
            if (SameText(name, path))
                return *archive;
        FOwn.emplace_back(path, std::make_unique<TQnfdCompress>());
        return *FOwn.back().second;
    }

private:
    TFileContainer& FInstall;
    std::optional<std::string> FMain;
    std::vector<std::pair<std::string, std::unique_ptr<TQnfdCompress>>> FOwn;
};

int MemberIndex(TQnfdCompress& archive, const TFileInstallPlan& p) {
    archive.SetCompressedFile(p.Archive);
    int index = archive.IndexOfPath(p.Member);
    // Found as the extraction finds it: by the whole item, else its first field.
    if (index < 0 && p.Member.find(';') != std::string::npos)
        index = archive.IndexOfPath(GetField(p.Member, 1, ';'));
    return index;
}

// Sizes come from the members themselves: those are the bytes that will be written.
void CheckMembers(TFileContainer& install, std::vector<TFileInstallPlan>& plans, TProblems& problems) {
    TArchives archives(install);
    std::vector<std::string> unreadable;
    std::vector<std::pair<std::string, int>> found;
    for (TFileInstallPlan& p : plans) {
        if (!p.Written)
            continue;
        if (p.FromNetwork) {
            LogLine("Check", p.Name + " comes over the network during the run: its member is not looked at");
            continue;
        }
        // A blank archive property fails the file's own step with its message.
        if (Trim(p.Archive).empty())
            continue;
        int index;
        try {
            index = MemberIndex(archives.For(p.Archive), p);
        } catch (const Exception& e) {
            if (std::none_of(unreadable.begin(), unreadable.end(),
                             [&](const std::string& a) { return SameText(a, p.Archive); })) {
                unreadable.push_back(p.Archive);
                Problem(problems, e.Message());
            }
            continue;
        }
        if (index < 0) {
            Problem(problems, FormatTranslated(kMemberMissing, {p.Member, p.Archive}));
            continue;
        }
        p.Size = archives.For(p.Archive).FileStats(index).FileSize;
        auto it = std::find_if(found.begin(), found.end(),
                               [&](const auto& f) { return SameText(f.first, p.Archive); });
        if (it == found.end())
            found.emplace_back(p.Archive, 1);
        else
            ++it->second;
    }
    for (const auto& [archive, count] : found)
        LogLine("Check", IntToStr(count) + " member(s) found in " + archive);
}

// Checks the folder a destination goes into: the part of it that exists must
// take new files, and no file may sit where one of its folders must go.
void CheckFolder(const std::string& folder, TProblems& problems) {
    if (folder.empty())
        return;
    std::string existing = folder;
    while (!DirectoryExists(existing)) {
        if (FileExists(existing)) {
            Problem(problems, FormatTranslated(kFileInTheWay, {folder, existing}));
            return;
        }
        const std::string parent = ExtractFileDir(existing);
        if (parent.empty() || parent == existing)
            break;
        existing = parent;
    }
    // A folder still to be made needs the right to make folders where the path exists.
    const bool newFolder = existing != folder;
    if (const uint32_t code = FolderWritable(existing, newFolder)) {
        LogLine("Check", SystemFailure(std::string(newFolder ? "CreateDirectory" : "CreateFile") +
                                           "(a trial in " + existing + ")",
                                       code));
        Problem(problems,
                FormatTranslated(newFolder ? kCannotMake : kNotWritable, {folder, SystemErrorText(code)}));
        return;
    }
    LogLine("Check",
            folder + (existing == folder ? " takes new files" : ": " + existing + " takes new folders"));
}

void CheckFolders(const std::vector<TFileInstallPlan>& plans, TProblems& problems) {
    std::vector<std::string> folders;
    for (const TFileInstallPlan& p : plans) {
        if (!p.Written)
            continue;
        if (DirectoryExists(p.Dest))
            Problem(problems, FormatTranslated(kFolderInTheWay, {p.Dest}));
        const std::string folder = ExtractFileDir(p.Dest);
        if (std::any_of(folders.begin(), folders.end(),
                        [&](const std::string& f) { return SameText(f, folder); }))
            continue;
        folders.push_back(folder);
        CheckFolder(folder, problems);
    }
}

struct TDrive {
    std::string Root;
    std::vector<int64_t> Sizes;
};

void CheckRoom(const std::vector<TFileInstallPlan>& plans, TProblems& problems) {
    std::vector<TDrive> drives;
    for (const TFileInstallPlan& p : plans) {
        if (!p.Written)
            continue;
        const std::string root = VolumeRoot(p.Dest);
        if (root.empty()) {
            LogLine("Check", p.Dest + " is not a full path: the room it needs is not checked");
            continue;
        }
        auto it = std::find_if(drives.begin(), drives.end(),
                               [&](const TDrive& d) { return SameText(d.Root, root); });
        if (it == drives.end())
            it = drives.insert(drives.end(), TDrive{root, {}});
        it->Sizes.push_back(p.Size);
    }
    for (const TDrive& d : drives) {
        const std::string drive = RemoveBackslash(d.Root);
        const int64_t need = RoomNeeded(d.Sizes);
        const int64_t free = FreeBytesOf(d.Root);
        if (free < 0) {
            LogLine("Check", "the free space of drive " + drive + " is unknown: the " + FormatBytes(need) +
                                 " needed there are not checked");
            continue;
        }
        LogLine("Check", IntToStr(static_cast<int64_t>(d.Sizes.size())) + " file(s) need " +
                             FormatBytes(need) + " on drive " + drive + ", " + FormatBytes(free) +
                             " are free");
        // As the drive list of the file group page marks it: not below is too little.
        if (need > 0 && !(need < free))
            Problem(problems,
                    FormatTranslated(kTooLittleRoom, {drive, FormatBytes(need), FormatBytes(free)}));
    }
}

std::string Sentence(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

std::string Report(const TProblems& problems) {
    std::string text;
    for (size_t i = 0; i < problems.size() && i < kMostShown; ++i)
        text += (i ? "\n" : "") + (i + 1 < problems.size() ? Sentence(problems[i]) : problems[i]);
    if (problems.size() > kMostShown)
        text += "\n" + FormatTranslated("%d more: the setup log names them all",
                                        {static_cast<int64_t>(problems.size() - kMostShown)});
    return text;
}
} // namespace

TInstallCheckSeams& InstallCheckSeams() {
    static TInstallCheckSeams seams;
    return seams;
}

std::string VolumeRoot(const std::string& Path) {
    if (Path.size() >= 2 && Path[1] == ':' && std::isalpha(static_cast<unsigned char>(Path[0])))
        return UpperCase(Path.substr(0, 1)) + ":\\";
    // \\server\share\...: the share is the volume.
    if (Path.size() > 2 && Path[0] == '\\' && Path[1] == '\\') {
        const size_t server = Path.find('\\', 2);
        if (server == std::string::npos || server == 2)
            return {};
        const size_t share = Path.find('\\', server + 1);
        if (share == server + 1)
            return {};
        return AddBackslash(Path.substr(0, share));
    }
    return {};
}

int64_t RoomNeeded(const std::vector<int64_t>& Sizes) {
    int64_t total = 0, largest = 0;
    for (int64_t size : Sizes) {
        const int64_t onDisk = (std::max<int64_t>(size, 0) + kCluster - 1) / kCluster * kCluster;
        total += onDisk;
        largest = std::max(largest, onDisk);
    }
    // Each member is written to a scratch file that becomes the file, and a
    // replaced file stays until the run ends: the files need their sum. The
    // largest once more leaves the system and the run's own records room on
    // a drive the files would fill to its last cluster.
    return total + largest;
}

void CheckBeforeInstall(TFileContainer& Install) {
    std::vector<TFileInstallPlan> plans;
    CollectPlans(Install, plans);
    const auto written =
        std::count_if(plans.begin(), plans.end(), [](const TFileInstallPlan& p) { return p.Written; });
    LogLine("Check",
            "room, folders and members of " + IntToStr(static_cast<int64_t>(written)) + " file(s) to write");
    for (const TFileInstallPlan& p : plans)
        if (!p.Written)
            LogLine("Check", p.Dest + " stays as it is (its overwrite rule keeps it): it needs no room");

    TProblems problems;
    CheckMembers(Install, plans, problems);
    CheckFolders(plans, problems);
    CheckRoom(plans, problems);
    if (problems.empty()) {
        LogLine("Check", "nothing stands in the way");
        return;
    }
    LogLine("Check", IntToStr(static_cast<int64_t>(problems.size())) +
                         " shortfall(s): the run ends before it changes anything");
    throw IEInstall(Report(problems));
}
