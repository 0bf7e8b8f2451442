#include <cstdio>

#include "support/Gbk.h"
#include "tools/packtool/HostFs.h"
#include "tools/packtool/Sources.h"

namespace {

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

bool CollectManifest(const std::string& manifest, std::vector<PackItem>* items) {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(manifest, &bytes)) {
        std::fprintf(stderr, "packtool: cannot read manifest %s\n", manifest.c_str());
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            std::fprintf(stderr, "packtool: %s:%zu: expected STORED_NAME<TAB>LOCAL_PATH\n", manifest.c_str(),
                         lineNumber);
            return false;
        }
        std::string local;
        if (!GbkToUtf8(line.substr(tab + 1), &local)) {
            std::fprintf(stderr, "packtool: %s:%zu: the local path is not GBK text\n", manifest.c_str(), lineNumber);
            return false;
        }
        if (!IsRootedPath(local.c_str()))
            local = ParentOf(manifest) + "/" + local;
        items->push_back({line.substr(0, tab), local});
    }
    return true;
}
