// The extraction information: the 136 bytes at the very end of a
// self-extracting setup.exe that say where setup.1 and files.1 lie inside it
// and which product it installs. The build mode writes it, the setup program
// and the loading program read it.
#pragma once
#include "platform/routines_Files.h"
#include "platform/types_Base.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kExtractionInfoSize = 136;
constexpr int kMaxProductTitleLength = 80;
constexpr char kExtractionMagic[] = "SELFEXTRACTING";

// The record as it lies in the file, little-endian. Every field is made of
// bytes, so the layout has no padding on any compiler.
struct TExtractionInfoRecord {
    uint8_t MagicLength;    // 14
    char Magic[14];         // "SELFEXTRACTING"
    uint8_t Reserved15;     // zero
    uint8_t Setup1Start[4]; // position of the first byte of setup.1
    uint8_t Setup1End[4];   // position of its last byte
    uint8_t Files1Start[4]; // position of the first byte of files.1; zero without one
    uint8_t Files1End[4];   // position of its last byte; zero without one
    uint8_t Reserved32[21]; // zero
    uint8_t TitleLength;    // at most 80
    char Title[80];         // the product title, the rest zero
    uint8_t Reserved134[2]; // zero
};
static_assert(sizeof(TExtractionInfoRecord) == kExtractionInfoSize);
static_assert(offsetof(TExtractionInfoRecord, Setup1Start) == 16);
static_assert(offsetof(TExtractionInfoRecord, Files1Start) == 24);
static_assert(offsetof(TExtractionInfoRecord, Files1End) == 28);
static_assert(offsetof(TExtractionInfoRecord, TitleLength) == 53);
static_assert(offsetof(TExtractionInfoRecord, Reserved134) == 134);
static_assert(sizeof(kExtractionMagic) - 1 == sizeof(TExtractionInfoRecord::Magic));

using TExtractionInfoBytes = std::array<uint8_t, kExtractionInfoSize>;

// The fields of the record, decoded.
struct TExtractionInfo {
    Integer Setup1Start = 0;
    Integer Setup1End = 0;
    Integer Files1Start = 0;
    Integer Files1End = 0;
    std::string ProductTitle;

    bool HasFiles1() const { return Files1Start != 0 || Files1End != 0; }
};

// What a check of the record against the file that carries it found.
enum class TExtractionInfoState {
    eiValid,
    eiTooShort,      // the file is shorter than the record
    eiNoMagic,       // the record does not begin with "SELFEXTRACTING"
    eiBadTitle,      // the title's length byte is above 80
    eiSetup1Outside, // setup.1 is empty, reversed or not before the record
    eiFiles1Outside, // files.1 likewise, or it overlaps setup.1
};

// The record of info: the magic, the positions and the title cut to 80
// bytes at a character boundary; everything else zero.
TExtractionInfoBytes EncodeExtractionInfo(const TExtractionInfo& info);
// The fields as they stand; a title length above 80 reads as 80. Checks nothing.
TExtractionInfo DecodeExtractionInfo(const TExtractionInfoBytes& bytes);
bool HasExtractionMagic(const TExtractionInfoBytes& bytes);

// Checks the record of a file of fileSize bytes (the record being its last
// 136) before any of its fields is trusted; info is filled only when valid.
TExtractionInfoState CheckExtractionInfo(const TExtractionInfoBytes& bytes, int64_t fileSize,
                                         TExtractionInfo& info);
// Why a record failed its check, as a sentence for a message.
std::string DescribeExtractionInfoState(TExtractionInfoState state, const TExtractionInfoBytes& bytes,
                                        int64_t fileSize);

// The last 136 bytes of stream (bytes zeroed first). False when the stream
// is shorter or cannot be read that far.
bool ReadExtractionInfoBytes(TStream& stream, TExtractionInfoBytes& bytes);
// Reads and checks the record at the end of stream.
TExtractionInfoState ReadExtractionInfo(TStream& stream, TExtractionInfo& info);
// Appends the record of info at the stream's current position.
void WriteExtractionInfo(TStream& stream, const TExtractionInfo& info);
