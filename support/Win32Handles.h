#pragma once

#include <windows.h>

#include <string>

// Owners for the kernel and registry handles that the Windows halves open, so that every early return releases
// what it took.

// A registry key opened or created through Out(); closed on destruction.
class ScopedKey {
  public:
    ScopedKey() = default;
    ~ScopedKey() {
        if (key_)
            RegCloseKey(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    HKEY* Out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// A FindFirstFileA search; the first entry is in *data when found() holds.
class ScopedFind {
  public:
    ScopedFind(const std::string& pattern, WIN32_FIND_DATAA* data) : handle_(FindFirstFileA(pattern.c_str(), data)) {}
    ~ScopedFind() {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;

    bool found() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA* data) { return FindNextFileA(handle_, data) != FALSE; }

  private:
    HANDLE handle_;
};

// A file handle from CreateFileA (INVALID_HANDLE_VALUE when none).
class ScopedFileHandle {
  public:
    explicit ScopedFileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~ScopedFileHandle() { Reset(INVALID_HANDLE_VALUE); }
    ScopedFileHandle(const ScopedFileHandle&) = delete;
    ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

    void Reset(HANDLE handle) {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = handle;
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Closes the handle now. True when there was one and it closed cleanly.
    bool Close() {
        const bool closed = handle_ != INVALID_HANDLE_VALUE && CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

// A loaded library (null when none), freed on destruction.
class ScopedLibrary {
  public:
    explicit ScopedLibrary(HMODULE module = nullptr) : module_(module) {}
    ~ScopedLibrary() {
        if (module_)
            FreeLibrary(module_);
    }
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;

    HMODULE get() const { return module_; }

  private:
    HMODULE module_;
};
