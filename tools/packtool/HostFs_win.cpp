#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "tools/packtool/HostFs.h"

namespace {

constexpr UINT kGbkCodePage = 936;

bool ToWide(UINT codePage, const std::string& in, std::wstring* out) {
    out->clear();
    if (in.empty())
        return true;
    int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (count <= 0)
        return false;
    out->resize(size_t(count));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &(*out)[0], count) == count;
}

bool FromWide(UINT codePage, const std::wstring& in, std::string* out) {
    out->clear();
    if (in.empty())
        return true;
    BOOL lossy = FALSE;
    BOOL* lossyOut = codePage == CP_UTF8 ? nullptr : &lossy;
    int count = WideCharToMultiByte(codePage, 0, in.data(), int(in.size()), nullptr, 0, nullptr, lossyOut);
    if (count <= 0)
        return false;
    out->resize(size_t(count));
    WideCharToMultiByte(codePage, 0, in.data(), int(in.size()), &(*out)[0], count, nullptr, lossyOut);
    return !lossy;
}

std::wstring Wide(const std::string& utf8) {
    std::wstring wide;
    ToWide(CP_UTF8, utf8, &wide);
    return wide;
}

bool ListInto(const std::wstring& root, const std::string& prefix, std::vector<std::string>* files) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::string utf8;
        FromWide(CP_UTF8, name, &utf8);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListInto(root + L"\\" + name, prefix + utf8 + "/", files);
        else
            files->push_back(prefix + utf8);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

}  // namespace

bool Utf8ToGbk(const std::string& utf8, std::string* gbk) {
    std::wstring wide;
    return ToWide(CP_UTF8, utf8, &wide) && FromWide(kGbkCodePage, wide, gbk);
}

bool GbkToUtf8(const std::string& gbk, std::string* utf8) {
    std::wstring wide;
    return ToWide(kGbkCodePage, gbk, &wide) && FromWide(CP_UTF8, wide, utf8);
}

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            std::string utf8;
            FromWide(CP_UTF8, wide[i], &utf8);
            args.push_back(utf8);
        }
        LocalFree(wide);
    }
    if (args.empty())
        args.assign(argv, argv + argc);
    return args;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    std::wstring wideMode(mode, mode + strlen(mode));
    return _wfopen(Wide(path).c_str(), wideMode.c_str());
}

bool IsDirectoryUtf8(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectoryUtf8(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) || IsDirectoryUtf8(path);
}

bool ListTreeUtf8(const std::string& root, std::vector<std::string>* files) {
    if (!ListInto(Wide(root), "", files))
        return false;
    std::sort(files->begin(), files->end());
    return true;
}

std::string NarrowPathUtf8(const std::string& path) {
    std::string narrow;
    if (!FromWide(kGbkCodePage, Wide(path), &narrow))
        narrow.clear();
    return narrow;
}

bool RemoveFileUtf8(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}
