#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "support/Gbk.h"

// The package appended to the installer's executable.
//
// Whole file (all integers 32-bit little-endian, no padding anywhere):
//
//   0 .. D-1      the executable image; D = directoryOffset from the trailer
//   D             record 1, then records 2..N, each right after the body of the one before
//   after N       end marker: a length field holding -1 (FF FF FF FF)
//   last 42 bytes trailer
//
// Trailer:
//   +0   4   magic 0x20050310 (bytes 10 03 05 20)
//   +4   4   directoryOffset: absolute offset of record 1 (the length of the image)
//   +8   32  MD5 of bytes 0..D-1 as lower-case hex; written by the packer, never checked by the reader
//   +40  2   zero bytes
//
// Record:
//   +0   4   header length L (signed; -1 is the end marker)
//   +4   L   header, scrambled (DescrambleHeader); at most 512 bytes
//   +4+L C   body: the file compressed as one LZO1X stream, C = the header's compressed size
//
// Header after descrambling:
//   +0   4   not interpreted
//   +4   4   original size (unsigned)
//   +8   4   compressed size C (unsigned)
//   +12      digest text, NUL-terminated: MD5 of the body as stored, 32 lower-case hex digits
//   next     name part 1, NUL-terminated
//   next     name part 2, NUL-terminated
//   rest     ignored up to L
//
// An entry's name is part 1 followed by part 2, lower-cased with LowerAsciiDbcs. Names are GBK relative paths
// with "\" separators ("winpos.txt", "copyfont_high\font00a.png").
//
// A signed installer: Authenticode appends its certificate table after the package and records it in the PE
// image's security directory (data directory entry 4, whose address is a file offset, not an RVA). The table
// starts on an 8-byte boundary, so up to 7 zero bytes lie between the trailer and the table. When that directory
// ends the file, the package ends where the table begins; a security directory that points outside the file or
// does not end it leaves no place for a trailer, and the file has no package.

constexpr uint32_t kPackageMagic = 0x20050310u;
constexpr size_t kTrailerSize = 42;
constexpr size_t kTrailerDigestSize = 32;
constexpr size_t kMaxHeaderSize = 512;
constexpr size_t kHeaderFixedSize = 12;
constexpr int32_t kEndMarker = -1;

struct PackageEntry {
    std::string packagePath;  // the file the body is read from
    std::string digest;       // the header's digest text as stored
    uint32_t originalSize = 0;
    uint32_t compressedSize = 0;
    int32_t bodyOffset = 0;  // absolute position of the body's first byte
    std::string name;        // normalised name
};

// Ordered by unsigned bytes (std::string compares through memcmp); the later of two equal names wins.
using PackageIndex = std::map<std::string, PackageEntry>;

// The process-wide index: filled once by IndexPackage at start-up, read-only afterwards.
extern PackageIndex gPackageIndex;

// XORs header byte i with "mossy stonesRiver Bend\0"[i % 23]; scrambling and descrambling are the same.
void DescrambleHeader(unsigned char* bytes, size_t count);

constexpr size_t kCertificateAlignment = 8;

enum class CertificateState {
    kNone,       // not a PE image, or one whose security directory is empty
    kEndsFile,   // a certificate table that ends the file
    kMisplaced,  // a security directory that points outside the file or does not end it
};

struct CertificateTable {
    bool peImage = false;  // the file starts with PE headers that reach the security directory
    CertificateState state = CertificateState::kNone;
    int64_t offset = 0;  // file offset of the table (kEndsFile and kMisplaced: as the directory says)
    uint32_t size = 0;
};

// Reads the security directory of the PE image at the start of file, whose length is fileSize. Every header
// field is read with a bounds check; a file that is not a PE image, or whose headers are cut short, has none.
CertificateTable ReadCertificateTable(std::FILE* file, int64_t fileSize);

enum class IndexStatus {
    kOk,          // walked up to the end marker
    kCannotOpen,  // the file could not be opened
    kNoPackage,   // too short for a trailer, or the trailer's magic is wrong
    kBadRecord,   // a header length out of range or a header whose strings are not terminated
    kTruncated,   // the file ends (or a body runs) past the records before the end marker
};

struct IndexResult {
    IndexStatus status = IndexStatus::kCannotOpen;
    size_t records = 0;            // records read (duplicates counted each time)
    int64_t stopOffset = -1;       // where the walk stopped on kBadRecord or kTruncated
    CertificateTable certificate;  // the image's signature, when there is one (kMisplaced: status kNoPackage)
};

// Walks the records of the package in the file at path and adds them to index. Only headers are read.
// On a bad or truncated record the walk stops; the entries indexed before it are kept.
IndexResult IndexPackageFile(const char* path, PackageIndex& index);

// The same walk over size bytes in memory that hold a whole package file. Each entry's packagePath is
// packagePathLabel: the file its bodies are read from.
IndexResult IndexPackageBytes(const unsigned char* bytes,
                              size_t size,
                              const char* packagePathLabel,
                              PackageIndex& index);

// Indexes the program's own file into gPackageIndex (Windows builds).
void IndexPackage();

const char* IndexStatusText(IndexStatus status);
