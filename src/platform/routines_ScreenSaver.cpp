#include "routines_ScreenSaver.h"
#include "routines_Files.h"
#include "routines_Registry.h"
#include "routines_Strings.h"
#include "routines_WinText.h"
#include <windows.h>

namespace {
const wchar_t* const kSection = L"boot";
const wchar_t* const kKey = L"SCRNSAVE.EXE";
// No saver is named like this: the default that tells a missing key from an empty one.
const wchar_t* const kMissing = L"\x01<none>\x01";

struct TFiles {
    std::string WinIni, SystemIni;
};
TFiles& Files() {
    static TFiles files;
    return files;
}

enum class TIni { iniWin, iniSystem };

const char* IniName(TIni ini) {
    return ini == TIni::iniWin ? "WIN.INI" : "SYSTEM.INI";
}

// WIN.INI through the calls for the user's own initialisation file, as the
// setup writes it; SYSTEM.INI by its name in the Windows folder.
std::wstring FileOf(TIni ini) {
    const std::string& over = ini == TIni::iniWin ? Files().WinIni : Files().SystemIni;
    return Wide(over.empty() && ini == TIni::iniSystem ? std::string("SYSTEM.INI") : over);
}

std::optional<std::string> Read(TIni ini) {
    wchar_t buf[1024];
    const std::wstring file = FileOf(ini);
    const DWORD n = file.empty()
                        ? GetProfileStringW(kSection, kKey, kMissing, buf, 1024)
                        : GetPrivateProfileStringW(kSection, kKey, kMissing, buf, 1024, file.c_str());
    if (std::wstring(buf, n) == kMissing)
        return std::nullopt;
    return Narrow(buf, n);
}

// Writes the value, or removes the key for nullopt.
bool Write(TIni ini, const std::optional<std::string>& value) {
    const std::wstring file = FileOf(ini);
    const std::wstring v = value ? Wide(*value) : std::wstring();
    const wchar_t* data = value ? v.c_str() : nullptr;
    return (file.empty() ? WriteProfileStringW(kSection, kKey, data)
                         : WritePrivateProfileStringW(kSection, kKey, data, file.c_str())) != 0;
}

std::string SaverKey(const std::string& productKey) {
    return productKey + "\\ScreenSaver";
}

bool Same(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a && b && SameText(*a, *b);
}

// One file's part of the record: ours, and what was there before when ours
// is not current already.
bool RecordOne(TRegKey& k, const char* name, const std::optional<std::string>& now,
               const std::optional<std::string>& oursBefore, const std::optional<std::string>& ours) {
    const std::string previous = std::string("Previous") + name;
    bool ok = true;
    if (!Same(now, ours) && !Same(now, oursBefore)) {
        if (now)
            ok = k.WriteString(previous, *now);
        else if (k.ValueExists(previous))
            ok = k.DeleteValue(previous);
    }
    return (ours ? k.WriteString(name, *ours) : true) && ok;
}

bool RestoreOne(TIni ini, const std::optional<std::string>& ours, const std::optional<std::string>& previous,
                TSaverRestore& r) {
    if (!ours)
        return false;
    const std::string where = std::string(IniName(ini)) + " [boot] SCRNSAVE.EXE";
    const std::optional<std::string> now = Read(ini);
    if (!Same(now, ours)) {
        r.Lines.push_back(where + " left as it is: " + (now ? "\"" + *now + "\"" : std::string("none")) +
                          " is current now, not " + *ours);
        return false;
    }
    if (!Write(ini, previous)) {
        const DWORD code = GetLastError();
        r.Lines.push_back(where + " could not be written: WritePrivateProfileString failed, code " +
                          IntToStr(static_cast<int32_t>(code)) + ", " + SystemErrorText(code));
        return false;
    }
    r.Lines.push_back(previous ? where + " = " + *previous + " again"
                               : where + " removed: no screen saver was set before");
    return true;
}
} // namespace

void SetSaverProfileFiles(const std::string& winIni, const std::string& systemIni) {
    Files() = {winIni, systemIni};
}

TSaverSetting CurrentSaverSetting() {
    return {Read(TIni::iniWin), Read(TIni::iniSystem)};
}

bool SetSaverSetting(const TSaverSetting& setting) {
    const bool win = Write(TIni::iniWin, setting.WinIni);
    return Write(TIni::iniSystem, setting.SystemIni) && win;
}

bool RecordSaverChange(const std::string& productKey, const TSaverSetting& ours) {
    const TSaverSetting now = CurrentSaverSetting();
    const TSaverRecord before = ReadSaverRecord(productKey);
    TRegKey k;
    if (!k.Create(RegLocalMachine, SaverKey(productKey)))
        return false;
    const bool win = RecordOne(k, "WinIni", now.WinIni, before.Ours.WinIni, ours.WinIni);
    const bool system = RecordOne(k, "SystemIni", now.SystemIni, before.Ours.SystemIni, ours.SystemIni);
    return win && system;
}

TSaverRecord ReadSaverRecord(const std::string& productKey) {
    TSaverRecord r;
    TRegKey k;
    if (!k.Open(RegLocalMachine, SaverKey(productKey), TRegAccess::raRead))
        return r;
    r.Ours = {k.ReadString("WinIni"), k.ReadString("SystemIni")};
    r.Previous = {k.ReadString("PreviousWinIni"), k.ReadString("PreviousSystemIni")};
    r.Present = r.Ours.WinIni || r.Ours.SystemIni;
    return r;
}

TSaverRestore RestoreSaver(const TSaverRecord& record) {
    TSaverRestore r;
    if (!record.Present)
        return r;
    r.WinIni = RestoreOne(TIni::iniWin, record.Ours.WinIni, record.Previous.WinIni, r);
    r.SystemIni = RestoreOne(TIni::iniSystem, record.Ours.SystemIni, record.Previous.SystemIni, r);
    return r;
}
