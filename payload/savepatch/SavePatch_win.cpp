// The resource-installer library that travels in the package as "SavePatch.qvx".
//
// ResourceInstall indexes the installed pack: it walks the "quorvan" folder beside the library and writes
// quorvan\resource.lst, one line per file, fields separated by a tab and lines ended by CR LF:
//
//   <path relative to quorvan, "\" separators, lower-cased ASCII letters> TAB <size in bytes> TAB <MD5, 32 hex>
//
// in the order the folder walk meets the files (a sub-folder's files right where the sub-folder is met). Files
// that cannot be read are left out, and so are files and folders whose names GBK cannot spell. While it works it keeps
// a progress line in the caller's status text and repaints the caller's status window now and then.
//
// CreateUserFont renders the two custom officer names into a copy of the game's font texture (UserFont.h has the
// layout, UserFont_win.h the rules). Arguments in order: the size tag ("832_896") and the texture's width and
// height, a label ("自创32") and the face name, the glyph size, the column (5) and the row (2) of the grid cell
// that takes the first of the eight characters, the 17-byte text block, then the texture to write and the one to
// start from. Relative paths are taken from the "quorvan" folder beside this library, where the install put the
// pack's textures, so what it writes is removed with the pack.
//
// Every text the exports take or give is GBK, whatever the system's code page; the library speaks to the system
// through the W functions, converting each path strictly (support/SystemText_win.h).

#include <windows.h>

#include <md5.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "installer/ResourceLibrary.h"
#include "package/PackNames.h"
#include "payload/savepatch/UserFontExport.h"
#include "payload/savepatch/UserFont_win.h"
#include "support/Gbk.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

constexpr char kIndexName[] = "resource.lst";
constexpr size_t kStatusTextSize = 512;  // the caller's buffer; the text is at most 511 bytes
constexpr DWORD kRepaintInterval = 50;   // milliseconds between repaints of the status window
constexpr DWORD kReadChunk = 64 * 1024;

// The folder this library was loaded from, without a trailing separator; empty when GBK cannot spell it.
std::string OwnFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnFolder), &self))
        return std::string();
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string gbk;
    if (!GbkFromWide(path, length, &gbk))
        return std::string();
    const size_t cut = LastPathSeparator(gbk.data(), gbk.size());
    gbk.resize(cut == kNoSeparator ? 0 : cut);
    return gbk;
}

// A FindFirstFileW search; the first entry is in *data when found() holds.
class WideFind {
  public:
    WideFind(const std::wstring& pattern, WIN32_FIND_DATAW* data) : handle_(FindFirstFileW(pattern.c_str(), data)) {}
    ~WideFind() {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    WideFind(const WideFind&) = delete;
    WideFind& operator=(const WideFind&) = delete;

    bool found() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW* data) { return FindNextFileW(handle_, data) != FALSE; }

  private:
    HANDLE handle_;
};

// Relative paths ("sub\name.ext") of every file below root + "\" + relative; folders whose name begins with a
// dot are passed over, and so is every entry whose name has no GBK spelling (the index could not name it).
void CollectFiles(const std::string& root, const std::string& relative, std::vector<std::string>& files) {
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    std::wstring pattern;
    if (!WideFromGbk(folder + "\\*", &pattern))
        return;
    WIN32_FIND_DATAW data;
    WideFind search(pattern, &data);
    if (!search.found())
        return;
    do {
        std::string leaf;
        if (!GbkFromWide(data.cFileName, &leaf) || leaf.empty())
            continue;
        const std::string name = relative.empty() ? leaf : relative + "\\" + leaf;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(name);
        else if (leaf[0] != '.')
            CollectFiles(root, name, files);
    } while (search.Next(&data));
}

// Size and MD5 (32 lower-case hex digits) of a file; false when it cannot be read to its end.
bool DigestFile(const std::string& path, unsigned long long* size, char digestText[33]) {
    std::wstring widePath;
    if (!WideFromGbk(path, &widePath))
        return false;
    ScopedFileHandle file(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid())
        return false;
    MD5_CTX context;
    MD5Init(&context);
    std::vector<uint8_t> chunk(kReadChunk);
    unsigned long long total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk.data(), kReadChunk, &got, nullptr))
            return false;
        if (got == 0)
            break;
        MD5Update(&context, chunk.data(), got);
        total += got;
    }
    uint8_t digest[MD5_DIGEST_LENGTH];
    MD5Final(digest, &context);
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
        digestText[2 * i] = kHex[digest[i] >> 4];
        digestText[2 * i + 1] = kHex[digest[i] & 0xF];
    }
    digestText[2 * MD5_DIGEST_LENGTH] = 0;
    *size = total;
    return true;
}

// The progress line in the caller's status text, and the repaint of its window at most every kRepaintInterval.
class Progress {
  public:
    Progress(HWND window, char* text, size_t total) : window_(window), text_(text), total_(total) {}

    void Show(size_t done, bool force) {
        DWORD now = GetTickCount();
        if (!force && shown_ && now - lastPaint_ < kRepaintInterval)
            return;
        shown_ = true;
        lastPaint_ = now;
        if (text_) {
            unsigned percent = total_ ? static_cast<unsigned>(done * 100 / total_) : 100;
            std::snprintf(text_, kStatusTextSize, "正在安装资源 %u%% (%u/%u)", percent, static_cast<unsigned>(done),
                          static_cast<unsigned>(total_));
        }
        if (window_ && IsWindow(window_)) {
            InvalidateRect(window_, nullptr, TRUE);
            UpdateWindow(window_);
        }
    }

  private:
    HWND window_;
    char* text_;
    size_t total_;
    bool shown_ = false;
    DWORD lastPaint_ = 0;
};

bool WriteIndex(const std::string& path, const std::string& content) {
    std::wstring widePath;
    if (!WideFromGbk(path, &widePath))
        return false;
    std::FILE* file = _wfopen(widePath.c_str(), L"wb");
    if (!file)
        return false;
    bool complete = content.empty() || std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && complete;
}

bool IsText(const char* text) {
    return text && *text;
}

}  // namespace

extern "C" void __cdecl ResourceInstall(bool install, HWND status, char* statusText) {
    if (!install)
        return;
    const std::string folder = OwnFolder();
    if (folder.empty())
        return;
    const std::string pack = folder + "\\" + kPackFolder;
    std::vector<std::string> files;
    CollectFiles(pack, std::string(), files);

    Progress progress(status, statusText, files.size());
    progress.Show(0, true);
    std::string index;
    size_t done = 0;
    for (std::string& name : files) {
        LowerAsciiDbcs(&name[0], name.size());
        if (name != kIndexName) {
            unsigned long long size = 0;
            char digest[33];
            if (DigestFile(pack + "\\" + name, &size, digest)) {
                char fields[64];
                std::snprintf(fields, sizeof fields, "\t%llu\t%s\r\n", size, digest);
                index += name;
                index += fields;
            }
        }
        progress.Show(++done, false);
    }
    if (!files.empty())
        WriteIndex(pack + "\\" + kIndexName, index);
    progress.Show(done, true);
}

// The export itself is UserFontExport_win.cpp's.
bool CreateUserFontWith(const UserFontArguments& a) {
    const bool valid = IsText(a.sizeName) && a.width > 0 && a.height > 0 && IsText(a.fontName) && a.faceName &&
                       a.glyphSize > 0 && a.firstColumn >= 0 && a.firstRow >= 0 && IsText(a.text) &&
                       IsText(a.targetPath) && IsText(a.sourcePath);
    if (!valid)
        return false;
    const std::string folder = OwnFolder();
    return RenderUserFont(folder.empty() ? folder : folder + "\\" + kPackFolder, a);
}

// The installer calls it through the pointer type it looks it up as; the two must never drift apart.
static_assert(std::is_same<decltype(&ResourceInstall), ResourceInstallProc>::value, "ResourceInstall's signature");
