// What the install step of a file will do, asked before the run writes
// anything: the same overwrite decision and the same choice of archive as
// the step itself (cmp_TInstallFile_Install), without touching a thing.
#include "objects/cmp_TInstallContainer.h"
#include "platform/routines_Strings.h"

bool TCustomInstallFile::PlanInstall(TFileInstallPlan& Plan) {
    if (Trim(ExpandedDestDir()).empty())
        return false;
    Plan.Name = Name();
    Plan.Dest = DestFilePath();
    const TFileCompare decision = IsFileNewer(FFileVersion, Plan.Dest, FOverwriteMode, FFileDate);
    Plan.Written = decision == fcError || decision == fcNewer;
    Plan.Size = FFileSize;
    const TDistributeType type = RunDistributeType();
    // A network archive arrives only when the file's turn comes.
    Plan.FromNetwork = type != dtTraditional && (FNet || type == dtWeb);
    if (!Plan.FromNetwork) {
        Plan.Archive = ExpandedArchiveFile();
        Plan.Member = SourcePath();
    }
    return true;
}
