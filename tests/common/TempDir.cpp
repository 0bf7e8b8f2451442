#include "tests/common/TempDir.h"
#include "support/StdioFile.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace {
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
}  // namespace

TempDir::TempDir() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    std::random_device seed;
    for (;;) {
        std::filesystem::path candidate = base / ("qvtest-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate.string();
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

std::string TempDir::Join(const std::string& relative) const {
    return path_ + kSeparator + relative;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::FILE* file = OpenGbkFile(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool ReadBytes(const std::string& path, std::string* bytes) {
    std::FILE* file = OpenGbkFile(path.c_str(), "rb");
    if (!file)
        return false;
    bytes->clear();
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->append(chunk, got);
    std::fclose(file);
    return true;
}
