#include <cstdio>

#include "support/Gbk.h"
#include "tools/packtool/HostFs.h"
#include "tools/packtool/Sources.h"

bool CollectFolder(const std::string& folder, std::vector<PackItem>* items) {
    std::vector<std::string> files;
    if (!ListTreeUtf8(folder, &files)) {
        std::fprintf(stderr, "packtool: cannot read folder %s\n", folder.c_str());
        return false;
    }
    for (const std::string& relative : files) {
        std::string stored;
        if (!Utf8ToGbk(relative, &stored)) {
            std::fprintf(stderr, "packtool: %s/%s: the name cannot be written in GBK\n", folder.c_str(),
                         relative.c_str());
            return false;
        }
        UseBackslashes(stored);
        items->push_back({stored, folder + "/" + relative});
    }
    return true;
}
