// The resource-installer library that travels in the package as "SavePatch.qvx".
//
// ResourceInstall indexes the installed pack: it walks the "quorvan" folder beside the library and writes
// quorvan\resource.lst, one line per file, fields separated by a tab and lines ended by CR LF:
//
//   <path relative to quorvan, "\" separators, lower-cased ASCII letters> TAB <size in bytes> TAB <MD5, 32 hex>
//
// in the order the folder walk meets the files (a sub-folder's files right where the sub-folder is met). Folders
// whose name begins with a dot are passed over, and so are files and folders whose names GBK cannot spell (the index
// could not name them). While it works it keeps a progress line in the caller's status text and repaints the
// caller's status window now and then.
//
// The library runs with the installer's rights, and the game folder may be written by any program of the player's
// session. So the walk goes through held folders (support/HeldFolder_win.h): the library's own folder is held as it
// is named (a game reached through a junction is still the player's game), and the pack folder, every folder below it
// and every file are opened relative to the one above and checked. A folder or file below it that is a link (or a
// file with a second name) is refused: never entered or read, and left out of the index, because what it leads to
// is no file the install put there, and reading it would write the size and digest of a file anywhere on the machine
// into a file that anybody can read. The index is put in place whole (HeldFolder::PutFile), never through a link.
//
// The export gives back nothing, so a failure is told in the caller's status text: after the call it begins with
// kInstallFailedText instead of the progress line, followed by the number of failures in brackets when there was more
// than one, the reason of the first and the path it names ("资源安装失败：以下文件是链接, 未列入资源索引: C:\...").
// Failures are: the library's folder or the pack folder that cannot be held (a missing pack folder is an empty
// pack), a link or a file that cannot be read to its end (left out of the index, the rest listed), and an index
// that cannot be written. Like the progress line, the text is GBK and at most 511 bytes, cut after a whole character.
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

#include "support/VistaCalls_win.h"

#include <md5.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "installer/ResourceLibrary_win.h"
#include "package/PackNames.h"
#include "payload/savepatch/UserFontExport_win.h"
#include "payload/savepatch/UserFont_win.h"
#include "support/HexText.h"
#include "support/Gbk.h"
#include "support/HeldFolder_win.h"
#include "support/SystemText_win.h"

namespace {

constexpr char kIndexName[] = "resource.lst";
constexpr size_t kStatusTextSize = 512;  // the caller's buffer; the text is at most 511 bytes
constexpr DWORD kRepaintInterval = 50;   // milliseconds between repaints of the status window
constexpr DWORD kReadChunk = 64 * 1024;

// The start of the status text after a run that failed, and the reasons that follow it (each then names a path).
constexpr char kInstallFailedText[] = "资源安装失败";
constexpr char kFailureCountText[] = "(共%u处)";
constexpr char kFailureSeparator[] = "：";
constexpr char kOwnFolderText[] = "无法打开资源安装库所在的文件夹: ";
constexpr char kPackFolderText[] = "无法打开汉化包文件夹: ";
constexpr char kLinkText[] = "以下文件是链接, 未列入资源索引: ";
constexpr char kFolderLinkText[] = "以下文件夹是链接, 未列入资源索引: ";
constexpr char kUnreadableText[] = "无法读取, 未列入资源索引: ";
constexpr char kFolderUnreadableText[] = "无法读取文件夹, 未列入资源索引: ";
constexpr char kIndexLinkText[] = "以下文件是链接, 未写入: ";
constexpr char kIndexFailedText[] = "无法写入资源索引: ";

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

bool IsLink(HeldFault fault) {
    return fault == HeldFault::kLink || fault == HeldFault::kHardLink;
}

// The failures of one run: how many, and the first with the path it names.
class Failures {
  public:
    void Add(const char* reason, const std::string& path) {
        if (count_++ == 0)
            first_ = reason + path;
    }
    bool any() const { return count_ > 0; }

    // The status text that tells them, cut after a whole character to fit the caller's buffer.
    void Tell(char* statusText) const {
        if (!statusText || !any())
            return;
        std::string text = kInstallFailedText;
        if (count_ > 1) {
            char count[32];
            std::snprintf(count, sizeof count, kFailureCountText, count_);
            text += count;
        }
        text += kFailureSeparator;
        text += first_;
        const size_t length = WholeGbkPrefix(text.data(), text.size(), kStatusTextSize - 1);
        std::memcpy(statusText, text.data(), length);
        statusText[length] = 0;
    }

  private:
    unsigned count_ = 0;
    std::string first_;
};

// One file the walk met: the held folder it lies in (an index into the walk's folders) and its names.
struct PackFile {
    size_t folder;
    std::string leaf;      // its name in that folder
    std::string relative;  // its path below the pack folder
};

// The entry names of a held folder, through its handle, without "." and "..": false when it cannot be listed.
bool ListNames(const HeldFolder& folder, std::vector<std::wstring>* names, std::vector<bool>* folders) {
    alignas(8) unsigned char buffer[16384];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(folder.handle(), kind, buffer, sizeof buffer))
            return GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") {
                names->push_back(name);
                folders->push_back((info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
            }
            if (info->NextEntryOffset == 0)
                break;
            offset += info->NextEntryOffset;
        }
    }
}

// The walk of the pack folder: every folder it entered stays held until the files are read, so that none of them
// can be renamed away or swapped for a link meanwhile.
class PackWalk {
  public:
    PackWalk(HeldFolder pack, Failures* failures) : failures_(failures) { folders_.push_back(std::move(pack)); }

    // Lists the files below the folder folders_[at], whose path below the pack folder is relative.
    void Collect(size_t at, const std::string& relative) {
        std::vector<std::wstring> names;
        std::vector<bool> isFolder;
        if (!ListNames(folders_[at], &names, &isFolder)) {
            failures_->Add(kFolderUnreadableText, folders_[at].path());
            return;
        }
        for (size_t i = 0; i < names.size(); ++i) {
            std::string leaf;
            if (!GbkFromWide(names[i], &leaf) || leaf.empty())
                continue;
            const std::string name = relative.empty() ? leaf : relative + "\\" + leaf;
            if (!isFolder[i]) {
                files_.push_back({at, leaf, name});
                continue;
            }
            if (leaf[0] == '.')
                continue;
            HeldFolder child;
            HeldFailure failure;
            if (!folders_[at].OpenFolder(leaf, false, &child, &failure)) {
                failures_->Add(IsLink(failure.fault) ? kFolderLinkText : kFolderUnreadableText, failure.path);
                continue;
            }
            folders_.push_back(std::move(child));
            Collect(folders_.size() - 1, name);
        }
    }

    const std::vector<PackFile>& files() const { return files_; }
    const HeldFolder& folder(size_t at) const { return folders_[at]; }

  private:
    Failures* failures_;
    std::vector<HeldFolder> folders_;  // [0] is the pack folder
    std::vector<PackFile> files_;
};

// Size and MD5 (32 lower-case hex digits) of the file name in folder, read through the handle it was checked on;
// false, with the failure, when it is refused or cannot be read to its end.
bool DigestFile(const HeldFolder& folder,
                const std::string& name,
                unsigned long long* size,
                char digestText[33],
                HeldFailure* failure) {
    ScopedFileHandle file;
    if (!folder.OpenFile(name, FILE_GENERIC_READ, FILE_SHARE_READ, &file, failure))
        return false;
    MD5_CTX context;
    MD5Init(&context);
    std::vector<uint8_t> chunk(kReadChunk);
    unsigned long long total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk.data(), kReadChunk, &got, nullptr)) {
            *failure = HeldFailure{HeldFault::kOther, folder.path() + "\\" + name};
            return false;
        }
        if (got == 0)
            break;
        MD5Update(&context, chunk.data(), got);
        total += got;
    }
    uint8_t digest[MD5_DIGEST_LENGTH];
    MD5Final(digest, &context);
    const std::string hex = LowerHex(digest, MD5_DIGEST_LENGTH);
    std::memcpy(digestText, hex.c_str(), hex.size() + 1);
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
        Repaint();
    }

    void Repaint() const {
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

bool IsText(const char* text) {
    return text && *text;
}

// Holds the pack folder below the library's own. False, with the failure told, when it cannot be held; true with
// *pack not held when there is none (an empty pack).
bool HoldPack(HeldFolder* pack, Failures* failures) {
    const std::string folder = OwnFolder();
    HeldFolder own;
    HeldFailure failure;
    if (folder.empty() || !own.Open(folder, &failure)) {
        failures->Add(kOwnFolderText, folder);
        return false;
    }
    if (own.OpenFolder(kPackFolder, false, pack, &failure) || failure.fault == HeldFault::kMissing)
        return true;
    failures->Add(IsLink(failure.fault) ? kFolderLinkText : kPackFolderText, failure.path);
    return false;
}

}  // namespace

extern "C" void __cdecl ResourceInstall(bool install, HWND status, char* statusText) {
    if (!install)
        return;
    Failures failures;
    HeldFolder pack;
    if (!HoldPack(&pack, &failures)) {
        failures.Tell(statusText);
        return;
    }
    const bool found = pack.held();
    PackWalk walk(std::move(pack), &failures);
    if (found)
        walk.Collect(0, std::string());

    Progress progress(status, statusText, walk.files().size());
    progress.Show(0, true);
    std::string index;
    size_t done = 0;
    for (const PackFile& file : walk.files()) {
        const std::string name = LowerAsciiDbcsCopy(file.relative);
        if (name != kIndexName) {
            unsigned long long size = 0;
            char digest[33];
            HeldFailure failure;
            if (DigestFile(walk.folder(file.folder), file.leaf, &size, digest, &failure)) {
                char fields[64];
                std::snprintf(fields, sizeof fields, "\t%llu\t%s\r\n", size, digest);
                index += name;
                index += fields;
            } else {
                failures.Add(IsLink(failure.fault) ? kLinkText : kUnreadableText, failure.path);
            }
        }
        progress.Show(++done, false);
    }
    HeldFailure failure;
    if (!walk.files().empty() &&
        !walk.folder(0).PutFile(kIndexName, index.data(), index.size(), PutMode::kReplace, &failure))
        failures.Add(IsLink(failure.fault) ? kIndexLinkText : kIndexFailedText, failure.path);
    progress.Show(done, true);
    if (failures.any()) {
        failures.Tell(statusText);
        progress.Repaint();
    }
}

// The export itself is UserFontExport_win.cpp's.
bool CreateUserFontWith(const UserFontArguments& a) {
    const bool valid = IsText(a.sizeName) && a.width > 0 && a.height > 0 && IsText(a.fontName) && a.faceName &&
                       a.glyphSize > 0 && a.firstColumn >= 0 && a.firstRow >= 0 && IsText(a.text) &&
                       IsText(a.targetPath) && IsText(a.sourcePath);
    if (!valid)
        return false;
    return RenderUserFont(OwnFolder(), a);
}

// The installer calls it through the pointer type it looks it up as; the two must never drift apart.
static_assert(std::is_same<decltype(&ResourceInstall), ResourceInstallProc>::value, "ResourceInstall's signature");
