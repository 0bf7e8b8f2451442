#include "tools/packtool/HostFs.h"

StdioFile CreateOutputFile(const std::string& path) {
    std::FILE* file = OpenFileUtf8(path, "wb");
    if (!file)
        std::fprintf(stderr, "packtool: cannot create %s\n", path.c_str());
    return StdioFile(file);
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes) {
    StdioFile file(OpenFileUtf8(path, "rb"));
    if (!file)
        return false;
    bytes->clear();
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    return !std::ferror(file.get());
}
