#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A realistic pack payload made from a fixed seed: already-compressed data (what PNG and DDS bodies look like to
// LZO), uncompressed bitmaps, and small text tables, in the proportions of a localisation pack.
struct PayloadFile {
    std::string name;  // "quorvan\..." with "\" separators
    std::string bytes;
};

std::vector<PayloadFile> GeneratePayload(size_t fileCount, uint64_t totalBytes, uint32_t seed);
