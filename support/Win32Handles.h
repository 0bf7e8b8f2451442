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

// A FindFirstFileW search; the first entry is in *data when found() holds. The pattern and the names found are
// UTF-16: the caller converts its GBK pattern (WideFromGbk) and each name it takes (GbkFromWide), and decides what
// a name that GBK cannot spell means to it.
//
// The ANSI form (FindFirstFileA) is kept for code that has not moved to the W functions yet; it finds only what the
// system's own code page can spell.
class ScopedFind {
  public:
    ScopedFind(const std::wstring& pattern, WIN32_FIND_DATAW* data) : handle_(FindFirstFileW(pattern.c_str(), data)) {}
    ~ScopedFind() {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;

    bool found() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW* data) { return FindNextFileW(handle_, data) != FALSE; }

  private:
    HANDLE handle_;
};

// A file handle from CreateFileW (INVALID_HANDLE_VALUE when none).
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
    // Gives the handle up to the caller, who closes it.
    HANDLE Release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
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
