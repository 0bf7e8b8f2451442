#include "bench/PayloadGenerator.h"

namespace {

class Rng {
  public:
    explicit Rng(uint32_t seed) : state_(seed ? seed : 1) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint32_t Below(uint32_t bound) { return Next() % bound; }

  private:
    uint32_t state_;
};

std::string Noise(Rng& rng, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i += 4) {
        uint32_t word = rng.Next();
        for (size_t k = 0; k < 4 && i + k < size; ++k)
            bytes[i + k] = char(word >> (8 * k));
    }
    return bytes;
}

// A 24-bit bottom-up bitmap with smooth gradients, flat areas and a little noise: compresses about 3:1.
std::string Bitmap(Rng& rng, size_t size) {
    const uint32_t width = 512;
    const uint32_t rowBytes = width * 3;
    const uint32_t height = uint32_t(size / rowBytes) + 1;
    std::string bytes(54, '\0');
    auto put32 = [&bytes](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + size_t(i)] = char(value >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54 + rowBytes * height);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bytes[26] = 1;
    bytes[28] = 24;
    put32(34, rowBytes * height);
    const uint32_t band = 8 + rng.Below(64);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t base = uint8_t((x / band) * 16 + y / 4);
            uint8_t jitter = (rng.Next() & 0x1F) == 0 ? uint8_t(rng.Next()) : 0;
            bytes.push_back(char(base));
            bytes.push_back(char(base ^ jitter));
            bytes.push_back(char(uint8_t(y)));
        }
    }
    return bytes;
}

std::string Table(Rng& rng, size_t size) {
    static const char* const kWords[] = {"officer", "曹操", "刘备", "font", "texture", "stage", "孙权",
                                         "name",    "1024", "0x3f", "\t",   ",",       "\r\n"};
    std::string bytes;
    while (bytes.size() < size)
        bytes += kWords[rng.Below(13)];
    bytes.resize(size);
    return bytes;
}

}  // namespace

std::vector<PayloadFile> GeneratePayload(size_t fileCount, uint64_t totalBytes, uint32_t seed) {
    Rng rng(seed);
    std::vector<PayloadFile> files;
    const uint64_t average = fileCount ? totalBytes / fileCount : 0;
    static const char* const kFolders[] = {"quorvan\\data\\common\\japanese\\high\\",
                                           "quorvan\\data\\common\\japanese\\low\\",
                                           "quorvan\\bg\\high\\",
                                           "quorvan\\bg\\low\\",
                                           "quorvan\\media\\text\\",
                                           "quorvan\\copyfont_high\\"};
    for (size_t i = 0; i < fileCount; ++i) {
        const uint32_t kind = rng.Below(10);  // 5 in 10 compressed, 3 bitmaps, 2 tables
        // Sizes spread from a few hundred bytes to about 3 MB, averaging out at the requested total.
        uint64_t size = kind >= 8 ? 200 + rng.Below(uint32_t(average / 8 + 1))
                                  : average / 2 + rng.Below(uint32_t(average * 3 / 2 + 1));
        if (size > 3u * 1024 * 1024)
            size = 3u * 1024 * 1024;
        PayloadFile file;
        std::string stem = kFolders[rng.Below(6)] + std::string("item") + std::to_string(i);
        if (kind < 5) {
            file.name = stem + ".png";
            file.bytes = "\x89PNG\r\n\x1a\n" + Noise(rng, size_t(size));
        } else if (kind < 8) {
            file.name = stem + ".bmp";
            file.bytes = Bitmap(rng, size_t(size));
        } else {
            file.name = stem + ".txt";
            file.bytes = Table(rng, size_t(size));
        }
        files.push_back(std::move(file));
    }
    return files;
}
