#include "tools/packtool/HostFs.h"

#include <dirent.h>
#include <errno.h>
#include <iconv.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return false;
    out->clear();
    std::string input = in;
    char* src = input.empty() ? nullptr : &input[0];
    size_t srcLeft = input.size();
    bool ok = true;
    while (srcLeft > 0) {
        char chunk[256];
        char* dst = chunk;
        size_t dstLeft = sizeof chunk;
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out->append(chunk, size_t(dst - chunk));
        if (rc == size_t(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

bool ListInto(const std::string& root, const std::string& prefix, std::vector<std::string>* files) {
    DIR* dir = opendir(root.c_str());
    if (!dir)
        return false;
    while (dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        std::string full = root + "/" + name;
        struct stat info;
        if (stat(full.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            ListInto(full, prefix + name + "/", files);
        else if (S_ISREG(info.st_mode))
            files->push_back(prefix + name);
    }
    closedir(dir);
    return true;
}

}  // namespace

bool Utf8ToGbk(const std::string& utf8, std::string* gbk) {
    return Convert("GBK", "UTF-8", utf8, gbk);
}

bool GbkToUtf8(const std::string& gbk, std::string* utf8) {
    return Convert("UTF-8", "GBK", gbk, utf8);
}

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool IsDirectoryUtf8(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeDirectoryUtf8(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 || IsDirectoryUtf8(path);
}

bool ListTreeUtf8(const std::string& root, std::vector<std::string>* files) {
    if (!ListInto(root, "", files))
        return false;
    std::sort(files->begin(), files->end());
    return true;
}

std::string NarrowPathUtf8(const std::string& path) {
    return path;
}

bool RemoveFileUtf8(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}
