#pragma once

#include <cstdio>

// Opens a stdio stream on a GBK path: on Windows through the wide CRT (_wfopen), whatever the system's code page,
// and null for a path that is not GBK; elsewhere fopen as it is.
std::FILE* OpenGbkFile(const char* path, const char* mode);

// Owns a stdio stream and closes it at the end of the scope, so that every early return releases it. Writers call
// Close() themselves: only its answer says whether the buffered bytes reached the file.
class StdioFile {
  public:
    StdioFile() = default;
    StdioFile(const char* path, const char* mode) : file_(path ? OpenGbkFile(path, mode) : nullptr) {}
    explicit StdioFile(std::FILE* file) : file_(file) {}
    ~StdioFile() { Close(); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    std::FILE* get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }

    // Closes the stream held now, if any, and takes file.
    void Reset(std::FILE* file) {
        Close();
        file_ = file;
    }
    // Hands the stream to the caller, who closes it.
    std::FILE* release() {
        std::FILE* file = file_;
        file_ = nullptr;
        return file;
    }

    // Closes the stream now. True when there was one and it closed cleanly.
    bool Close() {
        if (!file_)
            return false;
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

  private:
    std::FILE* file_ = nullptr;
};
