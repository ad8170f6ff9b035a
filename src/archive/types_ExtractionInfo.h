// The extraction information: the 136 bytes at the end of a self-extracting
// setup.exe that say where setup.1 and files.1 lie inside it, which product
// it installs and the checksum of the whole file. The build mode writes it,
// the setup program and the loading program read it.
//
// Where it ends: at the end of the file, or, when the file was signed after
// the build (Authenticode appends a certificate table behind everything and
// names it in the PE header), just before that table, less up to 7 zero
// bytes a signer may put in front of the table. The build pads the file so
// that the record ends on an 8-byte boundary and a signer adds none. Every
// position and size check of the record counts from its end, not the file's.
//
// The checksum (in the bytes 32 to 52, zero in files built before it):
//   32  4  "QCRC": a checksum is present
//   36  1  1: the kind of checksum described here
//   37  4  zlib's CRC-32 of every byte before the record, the PE CheckSum and
//          certificate-table entry read as zeros (the 12 bytes a signer
//          changes), continued over the record itself with these 21 bytes
//          read as zeros
//   41  4  the number of bytes before the record it covers: the record's position
//   45  8  zero
// So a signature added afterwards leaves the checksum true, and a change of
// any other byte up to the record's end (or of the record's place) shows.
#pragma once
#include "platform/routines_Files.h"
#include "platform/routines_Hash.h"
#include "platform/types_Base.h"
#include "types_PeImage.h"
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
    char CheckMarker[4];    // "QCRC" with a checksum; zero in files built before
    uint8_t CheckKind;      // 1
    uint8_t CheckCrc[4];    // the CRC-32
    uint8_t CheckLength[4]; // the bytes it covers before the record
    uint8_t Reserved45[8];  // zero
    uint8_t TitleLength;    // at most 80
    char Title[80];         // the product title, the rest zero
    uint8_t Reserved134[2]; // zero
};
static_assert(sizeof(TExtractionInfoRecord) == kExtractionInfoSize);
static_assert(offsetof(TExtractionInfoRecord, Setup1Start) == 16);
static_assert(offsetof(TExtractionInfoRecord, Files1Start) == 24);
static_assert(offsetof(TExtractionInfoRecord, Files1End) == 28);
static_assert(offsetof(TExtractionInfoRecord, CheckMarker) == 32);
static_assert(offsetof(TExtractionInfoRecord, CheckCrc) == 37);
static_assert(offsetof(TExtractionInfoRecord, CheckLength) == 41);
static_assert(offsetof(TExtractionInfoRecord, TitleLength) == 53);
static_assert(offsetof(TExtractionInfoRecord, Reserved134) == 134);
static_assert(sizeof(kExtractionMagic) - 1 == sizeof(TExtractionInfoRecord::Magic));

using TExtractionInfoBytes = std::array<uint8_t, kExtractionInfoSize>;

constexpr char kChecksumMarker[] = "QCRC";
constexpr uint8_t kChecksumKind = 1;
// The bytes of the record that hold the checksum, read as zeros when it is computed.
constexpr int kChecksumFieldAt = 32;
constexpr int kChecksumFieldSize = 21;
// The build pads so that the record ends on a multiple of this.
constexpr int kExtractionInfoAlignment = 8;

// The fields of the record, decoded.
struct TExtractionInfo {
    Integer Setup1Start = 0;
    Integer Setup1End = 0;
    Integer Files1Start = 0;
    Integer Files1End = 0;
    std::string ProductTitle;
    // The checksum of the file; absent in files built before it was written.
    bool HasChecksum = false;
    uint32_t Checksum = 0;
    Integer ChecksumLength = 0; // the bytes it covers before the record

    bool HasFiles1() const { return Files1Start != 0 || Files1End != 0; }
};

// What a check of the record against the file that carries it found.
enum class TExtractionInfoState {
    eiValid,
    eiTooShort,         // the file is shorter than the record
    eiNoMagic,          // the record does not begin with "SELFEXTRACTING"
    eiBadTitle,         // the title's length byte is above 80
    eiSetup1Outside,    // setup.1 is empty, reversed or not before the record
    eiFiles1Outside,    // files.1 likewise, or it overlaps setup.1
    eiBadChecksumField, // the checksum field is neither zero nor one that covers the bytes before the record
    eiChecksumDiffers,  // the file's bytes do not give the checksum its build wrote
};

// The record of info: the magic, the positions, the title cut to 80 bytes
// at a character boundary and, when it has one, the checksum; everything
// else zero.
TExtractionInfoBytes EncodeExtractionInfo(const TExtractionInfo& info);
// The fields as they stand; a title length above 80 reads as 80, a checksum
// field that is not one as no checksum. Checks nothing.
TExtractionInfo DecodeExtractionInfo(const TExtractionInfoBytes& bytes);
bool HasExtractionMagic(const TExtractionInfoBytes& bytes);

// Checks the record that ends at byte infoEnd of its file (the file's size
// when it is not signed) before any of its fields is trusted: the magic, the
// title, the positions and the checksum field, not the checksum itself. info
// is filled only when valid.
TExtractionInfoState CheckExtractionInfo(const TExtractionInfoBytes& bytes, int64_t infoEnd,
                                         TExtractionInfo& info);
// Why a record failed its check, as a sentence for a message.
std::string DescribeExtractionInfoState(TExtractionInfoState state, const TExtractionInfoBytes& bytes,
                                        int64_t infoEnd);

// Where the record of stream ends (see above): the stream's size, or the
// position of a signed file's certificate table less the zeros before it.
int64_t FindExtractionInfoEnd(TStream& stream);
// The 136 bytes that end there (bytes zeroed first); infoEnd gets the end.
// False when the stream is shorter or cannot be read that far.
bool ReadExtractionInfoBytes(TStream& stream, TExtractionInfoBytes& bytes, int64_t& infoEnd);
bool ReadExtractionInfoBytes(TStream& stream, TExtractionInfoBytes& bytes);
// Reads and checks the record (not the checksum) of stream.
TExtractionInfoState ReadExtractionInfo(TStream& stream, TExtractionInfo& info);
// Appends the record of info at the stream's current position.
void WriteExtractionInfo(TStream& stream, const TExtractionInfo& info);

// The checksum described above of the recordStart bytes of stream before
// a record, whose own bytes are record. Reads in blocks of 1 MiB. False
// when the stream ends or fails before recordStart.
bool ComputeExtractionChecksum(TStream& stream, int64_t recordStart, const TExtractionInfoBytes& record,
                               uint32_t& crc);
// Fills the checksum of info for its record about to be written at
// recordStart of stream, whose bytes up to there are final. False when they
// cannot be read.
bool SealExtractionInfo(TStream& stream, int64_t recordStart, TExtractionInfo& info);
// Compares the checksum of a record that passed CheckExtractionInfo with the
// file's bytes: eiValid when they agree or the record carries none (a file
// built before checksums), eiChecksumDiffers otherwise.
TExtractionInfoState VerifyExtractionChecksum(TStream& stream, int64_t infoEnd,
                                              const TExtractionInfoBytes& bytes);

// The seal: 48 bytes in the section ".qfdseal" of the loading program, which
// the build fills in when it appends to it. Being part of the program's
// image, it is in memory, where nobody can change it, while the program runs:
// the loading program compares the file it reads with it, so that a file
// renamed and replaced after the program started is not the one it unpacks.
//   0  8  "QFDSEAL1"
//   8  8  where the record ends (infoEnd), little-endian; zero: not sealed
//  16 32  SHA-256 of every byte from the start of setup.1 to the record and
//         of the record itself, its checksum field (bytes 32 to 52) read as
//         zeros
// A signature covers the seal like every other byte of the program.
constexpr int kPayloadSealSize = 48;
constexpr char kPayloadSealSection[] = ".qfdseal";
constexpr char kPayloadSealMagic[] = "QFDSEAL1";

struct TPayloadSeal {
    bool Sealed = false; // the build filled it in
    int64_t InfoEnd = 0;
    TSha256Digest Digest{};
};

TPayloadSeal DecodePayloadSeal(const uint8_t* bytes, size_t size);
std::array<uint8_t, kPayloadSealSize> EncodePayloadSeal(const TPayloadSeal& seal);
// The file position of the seal in a loading program (the raw data of its
// section ".qfdseal", beginning with the magic); -1 when it has none.
int64_t FindPayloadSeal(TStream& stream);
// The digest described above of the record that ends at infoEnd of stream;
// false when the record does not check out or the bytes cannot be read.
bool ComputePayloadDigest(TStream& stream, int64_t infoEnd, TSha256Digest& digest);
// Fills in the seal of the loading program at the front of stream for the
// record that ends at infoEnd. False when the program has no seal or the
// bytes cannot be read.
bool WritePayloadSeal(TStream& stream, int64_t infoEnd);
