#include "settings/SaveFile.h"

#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "settings/PathChooser.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/StdioFile.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

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
const char kDocumentsNotGbkText[] =
    "[我的文档]的路径含有安装程序无法使用的字符(GBK编码不能表示)，不能打开真三国无双3 Save文档。";
const char kSaveFilter[] = "ShinSangokumusou3.dat\0ShinSangokumusou3.dat\0";

struct OpenSave {
    StdioFile file;
    std::string path;
};
OpenSave gSave;

void ShowOpenError(HWND owner, const char* text) {
    ShowMessage(owner, text, kOpenCaption, kMbOk | kMbIconError);
}

void ShowWriteError(HWND owner, const char* text) {
    ShowMessage(owner, text, kErrorCaption, kMbOk | kMbIconError);
}

// The size of an open file, or -1; the position is left at the start.
long SizeOf(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

// Takes path as the open save when it opens and is long enough. Shows the short-file message itself; an open
// that fails is left to the caller, whose message depends on the step.
enum class OpenResult { kOpened, kNotOpened, kTooShort };
OpenResult TryOpen(HWND owner, const std::string& path) {
    StdioFile file(path.c_str(), "rb+");
    if (!file)
        return OpenResult::kNotOpened;
    const long size = SizeOf(file.get());
    if (size < kSaveMinSize || size > kSaveMaxSize) {
        file.Close();  // before the box: the user may move the file meanwhile
        ShowOpenError(owner, size > kSaveMaxSize ? kTooLargeText : kTooShortText);
        return OpenResult::kTooShort;
    }
    gSave.file.Reset(file.release());
    gSave.path = path;
    return OpenResult::kOpened;
}

// The save file through checked stdio calls.
class StdioSaveStream : public SaveStream {
  public:
    explicit StdioSaveStream(std::FILE* file) : file_(file) {}
    bool Seek(long offset) override { return std::fseek(file_.get(), offset, SEEK_SET) == 0; }
    bool Write(const uint8_t* data, size_t size) override { return std::fwrite(data, 1, size, file_.get()) == size; }
    bool Flush() override { return std::fflush(file_.get()) == 0; }
    bool Close() override { return file_.Close(); }

  private:
    StdioFile file_;
};

// Copies size bytes from the start of the open save into out, one piece at a time.
bool CopyInPieces(std::FILE* file, long size, HANDLE out) {
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    std::vector<uint8_t> piece(kSaveCopyPiece);
    long left = size;
    while (left > 0) {
        const size_t want = static_cast<size_t>(left) < piece.size() ? static_cast<size_t>(left) : piece.size();
        if (std::fread(piece.data(), 1, want, file) != want)
            return false;
        DWORD written = 0;
        if (!WriteFile(out, piece.data(), static_cast<DWORD>(want), &written, nullptr) || written != want)
            return false;
        left -= static_cast<long>(want);
    }
    return true;
}

// Writes the untouched copy beside the save unless one exists already. A copy that cannot be written completely
// is removed again; then the save must not be changed either.
bool KeepBackup(std::FILE* file, long size) {
    std::wstring backup;
    if (!WideFromGbk(gSave.path + kSaveBackupSuffix, &backup))
        return false;
    const DWORD attributes = GetFileAttributesW(backup.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return !(attributes & FILE_ATTRIBUTE_DIRECTORY);  // a folder of that name holds no copy
    ScopedFileHandle out(
        CreateFileW(backup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid())
        return false;
    bool complete = CopyInPieces(file, size, out.get());
    complete = out.Close() && complete;
    if (!complete)
        DeleteFileW(backup.c_str());
    return complete;
}

// The refusal that the open save meets now, or null when it may be written.
const char* Refusal(std::FILE* file) {
    const long size = SizeOf(file);
    if (size < kSaveMinSize)
        return kChangedText;  // never extend a save that someone else cut short meanwhile
    if (size > kSaveMaxSize)
        return kGrownText;
    if (!KeepBackup(file, size))
        return kBackupFailedText;
    return nullptr;
}

// Closes the save after a refusal and says why.
void Refuse(HWND owner, const char* refusal) {
    CloseSaveFile();
    ShowWriteError(owner, refusal);
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
    if (folder.size() + sizeof kSaveFileTail > kSavePathSize)  // the tail's size counts the terminator
        return DefaultSave::kUnknown;
    *path = folder + kSaveFileTail;
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
    return static_cast<bool>(gSave.file);
}

const std::string& SaveFilePath() {
    return gSave.path;
}

bool PrepareSaveNames(HWND owner) {
    if (!gSave.file)
        return false;
    if (const char* refusal = Refusal(gSave.file.get())) {
        Refuse(owner, refusal);
        return false;
    }
    return true;
}

bool WriteSaveNames(HWND owner, const SaveNameBytes& bytes) {
    if (!PrepareSaveNames(owner))
        return false;
    StdioSaveStream stream(gSave.file.release());
    const bool written = WriteNameFields(stream, bytes);
    gSave.path.clear();
    if (!written)
        ShowWriteError(owner, kWriteFailedText);
    return written;
}

void CloseSaveFile() {
    gSave.file.Close();
    gSave.path.clear();
}
