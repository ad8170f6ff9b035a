// The current screen saver as WIN.INI and SYSTEM.INI name it ([boot]
// SCRNSAVE.EXE), and what a product's setup changed there: under the
// product's uninstall key, subkey "ScreenSaver", the values "WinIni" and
// "SystemIni" hold what the setup made current, "PreviousWinIni" and
// "PreviousSystemIni" what was current before (missing when nothing was).
// The uninstall puts the earlier one back where the product's is still
// current.
#pragma once
#include <optional>
#include <string>
#include <vector>

// One value per file; nullopt where the file names no screen saver.
struct TSaverSetting {
    std::optional<std::string> WinIni, SystemIni;
};

TSaverSetting CurrentSaverSetting();
// Names the given savers, or none where a value is nullopt (the key goes).
// False when a file could not be written.
bool SetSaverSetting(const TSaverSetting& setting);

// Records, before the setup makes ours current, what is current now. When
// the product's own saver is current already (a reinstall), the earlier
// record of what came before it stays. False when the registry refused
// (the saver is made current all the same).
bool RecordSaverChange(const std::string& productKey, const TSaverSetting& ours);

struct TSaverRecord {
    bool Present = false;
    TSaverSetting Ours, Previous;
};
TSaverRecord ReadSaverRecord(const std::string& productKey);

struct TSaverRestore {
    // The file names the earlier saver again, or none.
    bool WinIni = false, SystemIni = false;
    // What was done or left, file by file, for the log.
    std::vector<std::string> Lines;
};
// Puts the earlier setting back in each file that still names the
// product's saver (compared without regard to case); a file that names
// another one now is left as the person chose.
TSaverRestore RestoreSaver(const TSaverRecord& record);

// Seam for tests: full paths used in place of WIN.INI and SYSTEM.INI of the
// Windows folder. Empty texts restore the system's files.
void SetSaverProfileFiles(const std::string& winIni, const std::string& systemIni);
