// The portable half of the version unit: reading the fields out of a version
// block, comparing version texts and the overwrite decision.
#include "cmp_TVersion.h"
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include "routines_Strings.h"
#include <cstdio>

namespace {

const Word kLangIDs[] = {1025, 1026, 1027, 1028, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036,
                         1037, 1038, 1039, 1040, 1041, 1042, 1043, 1044, 1045, 1046, 1047, 1048,
                         1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057, 2052, 2055, 2057,
                         2058, 2060, 2064, 2067, 2068, 2070, 2074, 3084, 4108};
const Word kCodePages[] = {0, 932, 949, 950, 1200, 1250, 1251, 1252, 1253, 1254, 1255, 1256};

std::string FileOSText(uint32_t os) {
    switch (os) {
    case 1:
        return "Windows 3.0 or later";
    case 2:
        return "16 bit OS/2 Presentation Manager";
    case 3:
        return "32 bit OS/2 Presentation Manager";
    case 4:
        return "32 bit Windows";
    case 0x10000:
        return "MS-Dos";
    case 0x10001:
        return "Windows 3.0 or later with MS-Dos";
    case 0x10004:
        return "32 bit Windows with MS-Dos";
    case 0x20000:
        return "16 bit OS/2";
    case 0x20002:
        return "16 bit OS/2 with Presentation Manager";
    case 0x30000:
        return "32 bit OS/2";
    case 0x30003:
        return "32 bit OS/2 with Presentation Manager";
    case 0x40000:
        return "Windows NT";
    case 0x40004:
        return "Windows NT with 32 bit Windows";
    default:
        return "Unknown";
    }
}

std::string FileTypeText(uint32_t type) {
    static const char* const kTypes[] = {nullptr,
                                         "Application",
                                         "Dynamic-Link Library",
                                         "Device Driver",
                                         "Font",
                                         "Virtual Device Driver",
                                         nullptr,
                                         "Static-Link Library"};
    return type < 8 && kTypes[type] ? kTypes[type] : "Unknown";
}

std::string FileSubTypeText(uint32_t type, uint32_t subType) {
    static const char* const kDrivers[] = {"Printer", "Keyboard", "Language",    "Display", "Mouse",
                                           "Network", "System",   "Installable", "Sound",   "Communications"};
    static const char* const kFonts[] = {"Raster", "Vector", "TrueType"};
    if (type == 3)
        return subType >= 1 && subType <= 10 ? kDrivers[subType - 1] : "Unknown";
    if (type == 4)
        return subType >= 1 && subType <= 3 ? kFonts[subType - 1] : "Unknown";
    return "";
}

std::string JoinVersion(uint32_t ms, uint32_t ls) {
    return Format("%u.%u.%u.%u", {ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF});
}

bool IsDecimal(const std::string& s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Compares two runs of digits by value, whatever their length.
int CompareDecimal(const std::string& a, const std::string& b) {
    size_t i = a.find_first_not_of('0'), j = b.find_first_not_of('0');
    std::string_view x = i == std::string::npos ? std::string_view() : std::string_view(a).substr(i);
    std::string_view y = j == std::string::npos ? std::string_view() : std::string_view(b).substr(j);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    int c = x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

TFileCompare FromOrder(int order) {
    // order: 0 equal, 1 incoming greater, 2 existing greater
    return order == 0 ? fcSame : order == 1 ? fcNewer : fcOlder;
}

// The file's last-write stamp as the archive records it: DOS resolution, local time.
bool DateStamp(const std::string& fileName, TDateTime& when) {
    try {
        TFileStream f(fileName, fmOpenRead | fmShareDenyNone);
        TDateTime modified;
        if (!f.GetModified(modified))
            return false;
        when = DosDateTimeToDateTime(DateTimeToDosDateTime(modified));
        return true;
    } catch (const Exception&) {
        return false;
    }
}

std::string VersionOf(const std::string& fileName) {
    TVersionResource& reader = SharedVersionResource();
    reader.SetFileName(fileName);
    return reader.VersionInfo().FileVersion;
}

// Compared as DOS date-times (two-second steps, fields from the year down):
// whole numbers compare the same on every processor, where two doubles of the
// same moment may not (the 32-bit x87 unit keeps extra bits in registers).
TFileCompare CompareDates(TDateTime incoming, TDateTime existing) {
    const uint32_t a = DateTimeToDosDateTime(incoming), b = DateTimeToDosDateTime(existing);
    return a > b ? fcNewer : a == b ? fcSame : fcOlder;
}

} // namespace

Word TVersionResource::LangID(TLanguage language) {
    auto i = static_cast<unsigned>(language);
    if (i >= std::size(kLangIDs))
        throw Exception("");
    return kLangIDs[i];
}

Word TVersionResource::CodePage(TCharacterSet charSet) {
    auto i = static_cast<unsigned>(charSet);
    if (i >= std::size(kCodePages))
        throw Exception("");
    return kCodePages[i];
}

TVersionResource::TVersionResource() : FFileName(VersionBlock::ProgramPath()) {
    ReadVersionInfo();
}

void TVersionResource::SetFileName(const std::string& fileName) {
    FFileName = fileName;
    ReadVersionInfo();
}

void TVersionResource::SetLanguage(TLanguage language) {
    LangID(language);
    FLanguage = language;
    ReadVersionInfo();
}

void TVersionResource::SetCharacterSet(TCharacterSet charSet) {
    CodePage(charSet);
    FCharacterSet = charSet;
    ReadVersionInfo();
}

bool TVersionResource::FileNameStored() const {
    return FFileName != VersionBlock::ProgramPath();
}

void TVersionResource::ReadVersionInfo() {
    FVersionInfo.Clear();
    std::vector<uint8_t> block = VersionBlock::Read(FFileName);
    VersionBlock::TFixedInfo fixed;
    if (block.empty() || !VersionBlock::QueryFixed(block, fixed))
        return;
    TVersionInfo& v = FVersionInfo;
    v.FileVersion = JoinVersion(fixed.FileVersionMS, fixed.FileVersionLS);
    v.ProductVersion = JoinVersion(fixed.ProductVersionMS, fixed.ProductVersionLS);
    v.FileOS = FileOSText(fixed.FileOS);
    v.FileType = FileTypeText(fixed.FileType);
    v.FileSubType = FileSubTypeText(fixed.FileType, fixed.FileSubtype);

    std::string prefix = Format("\\StringFileInfo\\%.4X%.4X\\",
                                {unsigned(LangID(FLanguage)), unsigned(CodePage(FCharacterSet))});
    struct Entry {
        const char* name;
        std::string TVersionInfo::*field;
    };
    static const Entry kEntries[] = {{"Comment", &TVersionInfo::Comment},
                                     {"CompanyName", &TVersionInfo::CompanyName},
                                     {"FileDescription", &TVersionInfo::FileDescription},
                                     {"InternalName", &TVersionInfo::InternalName},
                                     {"LegalCopyright", &TVersionInfo::LegalCopyright},
                                     {"LegalTradeMarks", &TVersionInfo::LegalTradeMarks},
                                     {"OriginalFileName", &TVersionInfo::OriginalFileName},
                                     {"PrivateBuild", &TVersionInfo::PrivateBuild},
                                     {"ProductName", &TVersionInfo::ProductName},
                                     {"ProductVersion", &TVersionInfo::ProductVersion},
                                     {"SpecialBuild", &TVersionInfo::SpecialBuild}};
    for (const Entry& e : kEntries) {
        std::string text;
        if (VersionBlock::QueryString(block, prefix + e.name, text))
            v.*(e.field) = text;
    }
}

TVersionResource& SharedVersionResource() {
    static std::unique_ptr<TVersionResource> shared;
    if (!shared)
        shared = std::make_unique<TVersionResource>();
    return *shared;
}

int CompareVersions(const std::string& a, const std::string& b) {
    // A text of n characters has at most n + 1 fields.
    size_t limit = std::max(a.size(), b.size()) + 2;
    for (size_t n = 1; n <= limit; ++n) {
        std::string fa = GetField(a, static_cast<int>(n), '.');
        std::string fb = GetField(b, static_cast<int>(n), '.');
        if (fa.empty() && fb.empty())
            return 0;
        if (fa.empty())
            return 2;
        if (fb.empty())
            return 1;
        int c = IsDecimal(fa) && IsDecimal(fb) ? CompareDecimal(fa, fb) : fa.compare(fb);
        if (c < 0)
            return 2;
        if (c > 0)
            return 1;
    }
    return 0;
}

TFileCompare IsFileNewer(const std::string& version, const std::string& fileName, TOverwriteType mode,
                         TDateTime fileDate) {
    switch (mode) {
    case owAlways:
        return fcNewer;
    case owNever:
        return !Trim(fileName).empty() && FileExists(fileName) ? fcOlder : fcNewer;
    case owVersion:
        return FromOrder(CompareVersions(version, VersionOf(fileName)));
    case owDate:
    case owVersionDate: {
        if (mode == owVersionDate) {
            int order = CompareVersions(version, VersionOf(fileName));
            if (order != 0)
                return FromOrder(order);
        }
        TDateTime existing;
        if (!DateStamp(fileName, existing))
            return fcError;
        return CompareDates(fileDate, existing);
    }
    }
    return fcError;
}

TFileCompare IsFileNewerByName(const std::string& source, const std::string& dest, TOverwriteType mode) {
    switch (mode) {
    case owAlways:
    case owNever:
        return IsFileNewer("", dest, mode, 0);
    case owVersion:
        return FromOrder(CompareVersions(VersionOf(source), VersionOf(dest)));
    case owDate:
    case owVersionDate: {
        if (mode == owVersionDate) {
            int order = CompareVersions(VersionOf(source), VersionOf(dest));
            if (order != 0)
                return FromOrder(order);
        }
        TDateTime s, d;
        if (!DateStamp(source, s) || !DateStamp(dest, d))
            return fcError;
        return CompareDates(s, d);
    }
    }
    return fcError;
}
