// File version resources and the overwrite decision that install files and the
// archive take when a destination file already exists.
#pragma once
#include "types_Base.h"
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TOverwriteType { owAlways, owNever, owVersion, owDate, owVersionDate };

// fcNewer: the incoming file is newer, replace; fcOlder: keep the existing one.
enum TFileCompare { fcError = 0, fcSame = 1, fcNewer = 2, fcOlder = 3 };

// The fields read from a version block; all empty when the file has none.
class TVersionInfo {
public:
    std::string Comment;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTradeMarks;
    std::string OriginalFileName;
    std::string PrivateBuild;
    std::string ProductName;
    std::string ProductVersion;
    std::string SpecialBuild;
    std::string FileOS;
    std::string FileType;
    std::string FileSubType;

    void Clear() { *this = TVersionInfo(); }
};

class TVersionResource {
public:
    // The language of the string table. Kept inside the class: the translator
    // has a TLanguage class of its own.
    enum TLanguage {
        lnArabic,
        lnBulgarian,
        lnCatalan,
        lnTraditionalChinese,
        lnCzech,
        lnDanish,
        lnGerman,
        lnGreek,
        lnUSEnglish,
        lnCastilianSpanish,
        lnFinnish,
        lnFrench,
        lnHebrew,
        lnHungarian,
        lnIcelandic,
        lnItalian,
        lnJapanese,
        lnKorean,
        lnDutch,
        lnNorwegianBokmal,
        lnPolish,
        lnBrazilianPortuguese,
        lnRhaetoRomanic,
        lnRomanian,
        lnRussian,
        lnCroatoSerbian,
        lnSlovak,
        lnAlbanian,
        lnSwedish,
        lnThai,
        lnTurkish,
        lnUrdu,
        lnBahasa,
        lnSimplifiedChinese,
        lnSwissGerman,
        lnUKEnglish,
        lnMexicanSpanish,
        lnBelgianFrench,
        lnSwissItalian,
        lnBelgianDutch,
        lnNorwegianNynorsk,
        lnPortuguese,
        lnSerboCroatian,
        lnCanadianFrench,
        lnSwissFrench
    };
    enum TCharacterSet {
        csASCII,
        csJapan,
        csKorea,
        csTaiwan,
        csUnicode,
        csLatin2,
        csCyrillic,
        csMultilingual,
        csGreek,
        csTurkish,
        csHebrew,
        csArabic
    };

    // Windows language identifier and code page of the enumerators; a value
    // outside the tables raises Exception.
    static Word LangID(TLanguage language);
    static Word CodePage(TCharacterSet charSet);

    TVersionResource();
    TVersionResource(const TVersionResource&) = delete;
    TVersionResource& operator=(const TVersionResource&) = delete;

    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& fileName);
    TLanguage Language() const { return FLanguage; }
    void SetLanguage(TLanguage language);
    TCharacterSet CharacterSet() const { return FCharacterSet; }
    void SetCharacterSet(TCharacterSet charSet);
    const TVersionInfo& VersionInfo() const { return FVersionInfo; }
    // FileName is stored with a project only when it is not the running program.
    bool FileNameStored() const;

    void ReadVersionInfo();

private:
    std::string FFileName;
    TLanguage FLanguage = lnUSEnglish;
    TCharacterSet FCharacterSet = csMultilingual;
    TVersionInfo FVersionInfo;
};

// The reader the archive and the overwrite routines point at files; created
// on first use and kept until the program ends.
TVersionResource& SharedVersionResource();

// 0: equal, 1: A greater, 2: B greater. Fields are cut at '.'; numeric fields
// compare as numbers, others as text; a missing field is smaller than any.
int CompareVersions(const std::string& a, const std::string& b);

// An incoming file (Version, FileDate) against the existing file FileName.
TFileCompare IsFileNewer(const std::string& version, const std::string& fileName, TOverwriteType mode,
                         TDateTime fileDate);
// Two files on disk: Source would replace Dest.
TFileCompare IsFileNewerByName(const std::string& source, const std::string& dest, TOverwriteType mode);

// The system side of version blocks: the Win32 one goes through version.dll,
// the native build of the portable code has no version blocks.
namespace VersionBlock {
struct TFixedInfo {
    uint32_t FileVersionMS = 0, FileVersionLS = 0;
    uint32_t ProductVersionMS = 0, ProductVersionLS = 0;
    uint32_t FileOS = 0, FileType = 0, FileSubtype = 0;
};
// The whole block of a file; empty when it has none or it cannot be read.
// Raises EAPIRoutines when the system's version library cannot be loaded:
// deciding on empty versions then would let an old file replace a newer one.
std::vector<uint8_t> Read(const std::string& fileName);
bool QueryFixed(const std::vector<uint8_t>& block, TFixedInfo& info);
// A string value by its path in the block ("\StringFileInfo\040904E4\CompanyName").
bool QueryString(const std::vector<uint8_t>& block, const std::string& path, std::string& value);
// The first language and code page of "\VarFileInfo\Translation".
bool QueryTranslation(const std::vector<uint8_t>& block, Word& language, Word& codePage);
// The running program's own path.
std::string ProgramPath();

// Windows: how version.dll is loaded, as LoadLibraryExW(file, nullptr, flags)
// returning the module or null (with the system's last error set). Tests put
// their own in place to play an older system; an empty one restores the
// system's. The library is looked for again on the next read.
using TLibraryLoader = std::function<void*(const std::string& file, uint32_t flags)>;
void SetLibraryLoader(TLibraryLoader loader);
} // namespace VersionBlock
