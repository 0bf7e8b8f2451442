#include "settings/SaveFile_win.h"

#include <shlobj.h>

#include <string>

#include "settings/PathChooser_win.h"
#include "support/Captions.h"
#include "support/Gbk.h"
#include "support/HeldFolder_win.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"

namespace {

const char kOpenCaption[] = "取消";
const char kChooserCancelledText[] = "必须手工制定真三国无双3 Save文档(在[我的文档]下)";
const char kOpenFailedText[] = "打开真三国无双3 Save文档失败";
const char kTooShortText[] = "真三国无双3 Save文档不完整(不足1796字节)，不能写入自创武将名。";
const char kPathTooLongText[] = "Save文档的路径太长(最多511字节)，请把它放到路径较短的文件夹。";
const char kChangedText[] = "Save文档打开后被改小了，没有写入自创武将名。";
const char kTooLargeText[] = "这个文件太大(超过64MB)，不是真三国无双3 Save文档，不能写入自创武将名。";
const char kGrownText[] = "Save文档打开后被改得太大(超过64MB)，没有写入自创武将名。";
const char kBackupFailedText[] = "无法保存Save文档的备份(.bak)，没有写入自创武将名。";
const char kWriteFailedText[] = "写入Save文档失败，自创武将名没有保存!";
const char kLinkText[] = "以下文件是链接, 未写入:\n";
const char kDocumentsNotGbkText[] =
    "[我的文档]的路径含有安装程序无法使用的字符(GBK编码不能表示)，不能打开真三国无双3 Save文档。";
const char kSaveFilter[] = "ShinSangokumusou3.dat\0ShinSangokumusou3.dat\0";

// The save is read and written in place through one handle. Others may still read and write it meanwhile, as they
// could before (a save cut short or grown meanwhile is caught by its size checks); nobody may delete or rename it.
constexpr ACCESS_MASK kSaveAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE;
constexpr ULONG kSaveShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Whether a copy is there already is asked without keeping anybody from anything.
constexpr ULONG kLookShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The open save: the folder that really holds it, held (a documents folder that the player moved with a junction is
// wherever the junction leads), and the file itself, opened relative to it and checked: no link, no second name.
// Everything the dialog does to the save, and its copy, goes through these two handles, never through a path again.
struct OpenSave {
    HeldFolder folder;
    ScopedFileHandle file;
    std::string path;  // as the user or the documents folder gave it, for the dialog and messages
    std::string name;  // the save's name in folder
};
OpenSave gSave;

void ShowOpenError(HWND owner, const char* text) {
    ShowMessage(owner, text, kOpenCaption, kMbOk | kMbIconError);
}

void ShowWriteError(HWND owner, const char* text) {
    ShowMessage(owner, text, kErrorCaption, kMbOk | kMbIconError);
}

bool IsLink(HeldFault fault) {
    return fault == HeldFault::kLink || fault == HeldFault::kHardLink;
}

std::string LinkRefusal(const std::string& path) {
    return kLinkText + path;
}

// The size of an open file, or -1.
long long SizeOf(HANDLE file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

bool SeekTo(HANDLE file, long long offset) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

// Takes path as the open save (no save is open when it is called) when it opens, passes its checks and is long
// enough. Shows the messages of its own refusals (a link, a size no save has); an open that fails is left to the
// caller, whose message depends on the step.
enum class OpenResult { kOpened, kNotOpened, kRefused };
OpenResult TryOpen(HWND owner, const std::string& path) {
    const size_t cut = LastPathSeparator(path.data(), path.size());
    if (cut == kNoSeparator)
        return OpenResult::kNotOpened;
    HeldFolder folder;
    HeldFailure failure;
    const std::string name = path.substr(cut + 1);
    if (!folder.Open(path.substr(0, cut)) || !folder.OpenFile(name, kSaveAccess, kSaveShare, &gSave.file, &failure)) {
        if (!IsLink(failure.fault))
            return OpenResult::kNotOpened;
        ShowWriteError(owner, LinkRefusal(failure.path).c_str());
        return OpenResult::kRefused;
    }
    const long long size = SizeOf(gSave.file.get());
    if (size < kSaveMinSize || size > kSaveMaxSize) {
        gSave.file.Close();  // before the box: the user may move the file meanwhile
        ShowOpenError(owner, size > kSaveMaxSize ? kTooLargeText : kTooShortText);
        return OpenResult::kRefused;
    }
    gSave.folder = std::move(folder);
    gSave.path = path;
    gSave.name = name;
    return OpenResult::kOpened;
}

// The open save through its checked handle.
class HandleSaveStream : public SaveStream {
  public:
    explicit HandleSaveStream(ScopedFileHandle* file) : file_(file) {}
    bool Seek(long offset) override { return SeekTo(file_->get(), offset); }
    bool Write(const uint8_t* data, size_t size) override { return WriteWholeBuffer(file_->get(), data, size); }
    bool Flush() override { return FlushFileBuffers(file_->get()) != FALSE; }
    bool Close() override { return file_->Close(); }

  private:
    ScopedFileHandle* file_;
};

// The first size bytes of the open save, read in pieces of kSaveCopyPiece.
bool ReadSave(long long size, std::string* bytes) {
    if (!SeekTo(gSave.file.get(), 0))
        return false;
    bytes->resize(static_cast<size_t>(size));
    for (size_t done = 0; done < bytes->size();) {
        const size_t rest = bytes->size() - done;
        const DWORD want = static_cast<DWORD>(rest < kSaveCopyPiece ? rest : kSaveCopyPiece);
        DWORD got = 0;
        if (!ReadFile(gSave.file.get(), &(*bytes)[done], want, &got, nullptr) || got != want)
            return false;
        done += got;
    }
    return true;
}

// Puts the untouched copy beside the save unless one is there already; it is made as new and takes its name whole
// (HeldFolder::PutFile), so that a copy cut short never passes for one and no file of that name is ever replaced or
// written through. The refusal to show, or empty when the save may be written.
std::string KeepBackup(long long size) {
    const std::string name = gSave.name + kSaveBackupSuffix;
    ScopedFileHandle existing;
    HeldFailure failure;
    // The earliest copy stays; a link, or a folder of that name, holds no copy.
    if (gSave.folder.OpenFile(name, FILE_READ_ATTRIBUTES, kLookShare, &existing, &failure))
        return std::string();
    if (failure.fault != HeldFault::kMissing)
        return IsLink(failure.fault) ? LinkRefusal(failure.path) : kBackupFailedText;
    std::string bytes;
    if (!ReadSave(size, &bytes))
        return kBackupFailedText;
    if (gSave.folder.PutFile(name, bytes.data(), bytes.size(), PutMode::kNewOnly, &failure) ||
        failure.fault == HeldFault::kExists)
        return std::string();
    return IsLink(failure.fault) ? LinkRefusal(failure.path) : kBackupFailedText;
}

// The refusal that the open save meets now, or empty when it may be written.
std::string Refusal() {
    const long long size = SizeOf(gSave.file.get());
    if (size < kSaveMinSize)
        return kChangedText;  // never extend a save that someone else cut short meanwhile
    if (size > kSaveMaxSize)
        return kGrownText;
    return KeepBackup(size);
}

// Closes the save after a refusal and says why.
void Refuse(HWND owner, const std::string& refusal) {
    CloseSaveFile();
    ShowWriteError(owner, refusal.c_str());
}

// Where the default save lies, if anywhere: the documents folder as the system gives it (UTF-16) must have a GBK
// spelling, and the whole path must fit the path buffer.
enum class DefaultSave { kFound, kUnknown, kNotGbk };
DefaultSave FindDefaultSave(HWND owner, std::string* path) {
    path->clear();
    wchar_t documents[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(owner, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, documents)))
        return DefaultSave::kUnknown;
    std::string folder;
    if (!GbkFromWide(documents, &folder))
        return DefaultSave::kNotGbk;
    const std::string tail = SaveFileTail();
    if (folder.size() + tail.size() + 1 > kSavePathSize)  // the path buffer holds the terminator too
        return DefaultSave::kUnknown;
    *path = folder + tail;
    return DefaultSave::kFound;
}

}  // namespace

std::string DefaultSaveFilePath(HWND owner) {
    std::string path;
    FindDefaultSave(owner, &path);
    return path;
}

// A documents folder that GBK cannot spell holds no save this program can name: refused before the chooser, which
// would only lead back into it.
bool OpenSaveFile(HWND owner) {
    CloseSaveFile();
    std::string defaultPath;
    const DefaultSave place = FindDefaultSave(owner, &defaultPath);
    if (place == DefaultSave::kNotGbk) {
        ShowWriteError(owner, kDocumentsNotGbkText);
        return false;
    }
    if (place == DefaultSave::kFound) {
        const OpenResult result = TryOpen(owner, defaultPath);
        if (result != OpenResult::kNotOpened)
            return result == OpenResult::kOpened;
    }
    std::string chosen;
    if (!ChoosePath(owner, chosen, kSaveFilter)) {
        ShowOpenError(owner, kChooserCancelledText);
        return false;
    }
    if (chosen.size() >= kSavePathSize) {
        ShowOpenError(owner, kPathTooLongText);
        return false;
    }
    const OpenResult result = TryOpen(owner, chosen);
    if (result == OpenResult::kNotOpened)
        ShowOpenError(owner, kOpenFailedText);
    return result == OpenResult::kOpened;
}

bool SaveFileIsOpen() {
    return gSave.file.valid();
}

const std::string& SaveFilePath() {
    return gSave.path;
}

bool PrepareSaveNames(HWND owner) {
    if (!gSave.file.valid())
        return false;
    const std::string refusal = Refusal();
    if (!refusal.empty()) {
        Refuse(owner, refusal);
        return false;
    }
    return true;
}

bool WriteSaveNames(HWND owner, const SaveNameBytes& bytes) {
    if (!PrepareSaveNames(owner))
        return false;
    HandleSaveStream stream(&gSave.file);
    const bool written = WriteNameFields(stream, bytes);
    CloseSaveFile();
    if (!written)
        ShowWriteError(owner, kWriteFailedText);
    return written;
}

void CloseSaveFile() {
    gSave.file.Close();
    gSave.folder = HeldFolder();
    gSave.path.clear();
    gSave.name.clear();
}
