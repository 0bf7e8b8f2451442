#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "package/Extract.h"
#include "package/Package.h"

// Checks that show nothing, for a caller that gathers the results and tells the user once: the install looks at
// every entry it is about to write before it changes anything.

// SizeCanBeTrue for the entry's two sizes: an original size beyond what the compressed size can yield fails,
// whatever the digest says (the header is not covered by it).
bool SizesPlausible(const PackageEntry& entry);

// A buffer that a sequence of checks reuses, grown to the largest entry seen so far; freed with the object.
class ScratchBuffer {
  public:
    // At least size bytes; null when memory runs out (the old buffer is gone then too).
    unsigned char* Reserve(uint32_t size);

  private:
    std::unique_ptr<unsigned char[]> bytes_;
    uint32_t capacity_ = 0;
};

struct CheckBuffers {
    ScratchBuffer input;
    ScratchBuffer output;
};

// Reads the entry's body, compares its MD5 with the stored digest and decompresses it: true only when the whole
// body was read, the digest matches and the stream yields exactly originalSize bytes. An implausible size fails
// before anything is allocated, as does an entry too large for the memory left. Nothing is shown and nothing is
// kept but the buffers.
// package, when given, is the entry's package file open for reading: a sequence of checks then opens it once
// rather than once per entry. unpackedMd5, when given, gets the MD5 (lower-case hex) of the unpacked bytes of an
// entry that passed.
bool CheckEntryQuietly(const PackageEntry& entry,
                       CheckBuffers& buffers,
                       std::FILE* package = nullptr,
                       std::string* unpackedMd5 = nullptr);
bool CheckEntryQuietly(const PackageEntry& entry);

// Extracts an entry that CheckEntryQuietly passed while its package cannot have changed since (the caller holds it
// open without write sharing): the body is read and decompressed without a second digest, the length is still
// checked. Shows nothing. True when the sink took exactly originalSize checked bytes.
bool ExtractCheckedEntry(const PackageEntry& entry, EntrySink& sink, std::FILE* package = nullptr);
