#include "settings/SaveFile.h"

#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "settings/PathChooser.h"
#include "support/MessageSeam.h"

namespace {

const char kOpenCaption[] = "取消";
const char kWriteCaption[] = "错误";
const char kChooserCancelledText[] = "必须手工制定真三国无双3 Save文档(在[我的文档]下)";
const char kOpenFailedText[] = "打开真三国无双3 Save文档失败";
const char kTooShortText[] = "真三国无双3 Save文档不完整(不足1796字节)，不能写入自创武将名。";
const char kPathTooLongText[] = "Save文档的路径太长(最多511字节)，请把它放到路径较短的文件夹。";
const char kChangedText[] = "Save文档打开后被改小了，没有写入自创武将名。";
const char kTooLargeText[] = "这个文件太大(超过64MB)，不是真三国无双3 Save文档，不能写入自创武将名。";
const char kGrownText[] = "Save文档打开后被改得太大(超过64MB)，没有写入自创武将名。";
const char kBackupFailedText[] = "无法保存Save文档的备份(.bak)，没有写入自创武将名。";
const char kWriteFailedText[] = "写入Save文档失败，自创武将名没有保存!";
const char kSaveFilter[] = "ShinSangokumusou3.dat\0ShinSangokumusou3.dat\0";

struct OpenSave {
    std::FILE* file = nullptr;
    std::string path;
};
OpenSave gSave;

void ShowOpenError(HWND owner, const char* text) {
    ShowMessage(owner, text, kOpenCaption, kMbOk | kMbIconError);
}

void ShowWriteError(HWND owner, const char* text) {
    ShowMessage(owner, text, kWriteCaption, kMbOk | kMbIconError);
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
    std::FILE* file = std::fopen(path.c_str(), "rb+");
    if (!file)
        return OpenResult::kNotOpened;
    const long size = SizeOf(file);
    if (size < kSaveMinSize || size > kSaveMaxSize) {
        std::fclose(file);
        ShowOpenError(owner, size > kSaveMaxSize ? kTooLargeText : kTooShortText);
        return OpenResult::kTooShort;
    }
    gSave.file = file;
    gSave.path = path;
    return OpenResult::kOpened;
}

// The save file through checked stdio calls.
class StdioSaveStream : public SaveStream {
  public:
    explicit StdioSaveStream(std::FILE* file) : file_(file) {}
    bool Seek(long offset) override { return std::fseek(file_, offset, SEEK_SET) == 0; }
    bool Write(const uint8_t* data, size_t size) override { return std::fwrite(data, 1, size, file_) == size; }
    bool Flush() override { return std::fflush(file_) == 0; }
    bool Close() override {
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        return closed;
    }

  private:
    std::FILE* file_;
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
    const std::string backup = gSave.path + kSaveBackupSuffix;
    const DWORD attributes = GetFileAttributesA(backup.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return !(attributes & FILE_ATTRIBUTE_DIRECTORY);  // a folder of that name holds no copy
    HANDLE out = CreateFileA(backup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    bool complete = CopyInPieces(file, size, out);
    complete = CloseHandle(out) && complete;
    if (!complete)
        DeleteFileA(backup.c_str());
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

}  // namespace

std::string DefaultSaveFilePath(HWND owner) {
    char documents[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(owner, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, documents)))
        return std::string();
    char path[kSavePathSize];
    const int length = std::snprintf(path, sizeof path, "%s%s", documents, kSaveFileTail);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path)
        return std::string();
    return path;
}

bool OpenSaveFile(HWND owner) {
    CloseSaveFile();
    const std::string defaultPath = DefaultSaveFilePath(owner);
    if (!defaultPath.empty()) {
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
    return gSave.file != nullptr;
}

const std::string& SaveFilePath() {
    return gSave.path;
}

bool PrepareSaveNames(HWND owner) {
    if (!gSave.file)
        return false;
    if (const char* refusal = Refusal(gSave.file)) {
        Refuse(owner, refusal);
        return false;
    }
    return true;
}

bool WriteSaveNames(HWND owner, const SaveNameBytes& bytes) {
    if (!PrepareSaveNames(owner))
        return false;
    std::FILE* file = gSave.file;
    gSave.file = nullptr;
    StdioSaveStream stream(file);
    const bool written = WriteNameFields(stream, bytes);
    gSave.path.clear();
    if (!written)
        ShowWriteError(owner, kWriteFailedText);
    return written;
}

void CloseSaveFile() {
    if (gSave.file)
        std::fclose(gSave.file);
    gSave.file = nullptr;
    gSave.path.clear();
}
