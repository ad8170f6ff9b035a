// The run's downloads: the folder they are kept in, and the check of every
// downloaded file, and of every copy kept from an earlier run, against the
// SHA-256 digests the build recorded in digests.lst, before anything reads it.
// A distribution built without digests is downloaded unchecked, as before.
#pragma once
#include "objects/routines_DownloadDigests.h"
#include <string>
#include <vector>

// A new name, with the extension ext (".1"), for a download in the folder
// downloads are kept in. The one place that says where that folder is: a
// new folder of the run's own in <common application data>\Quenfold
// ("Downloads-" and random digits), which, when the run is elevated, only
// administrators and the system can change. Raises EInOutError when no
// folder can be made.
std::string NewDownloadFileName(const std::string& ext);

// The folder downloads are kept in once the run chose it; empty before.
std::string ChosenDownloadFolder();
// Removes the run's download folder (and Quenfold above it) when empty.
void RemoveDownloadFolderIfEmpty();

// A download that checked out stays held from its check until the run ends
// (or ReleaseDownload): open for reading, shared for reading only, so that
// nobody can write, rename or remove it between the check and its use. It
// can then be removed only through RemoveDownload.
void ReleaseDownload(const std::string& localPath);
void ReleaseAllDownloads();
bool DownloadHeld(const std::string& localPath);
// Lets go of the file and removes it, and its download folder when that is
// empty then; false (and the reason in LastSystemError()) when it stays.
bool RemoveDownload(const std::string& localPath);

// Reads folder\digests.lst; without one the run has no digests (and its log
// says so). A damaged list raises IEInstall.
void LoadDownloadDigests(const std::string& folder);
// The digests to check against, set directly; and none (as before any load).
void SetDownloadDigests(std::vector<TDownloadDigest> digests);
void ForgetDownloadDigests();
bool HaveDownloadDigests();

// A file just downloaded as remoteName from the server named by from. When
// there are digests and the file's is not the one recorded for remoteName
// (or none is recorded), the file is removed and ENIL_NotAuthentic raised,
// naming the file. A file that cannot be held (another process has it open
// for writing) is refused the same way.
void CheckDownload(const std::string& remoteName, const std::string& localPath, const std::string& from);

// A copy of remoteName kept from an earlier download: true when it may be
// used. One that differs from the recorded digest (or cannot be read or held)
// is removed, and the answer is false: it must be downloaded again.
bool CheckKeptDownload(const std::string& remoteName, const std::string& localPath);
