#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it at the end of the test.
// Paths use "/" on the host and "\" on Windows; Join() adds the right separator.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string Join(const std::string& relative) const;

  private:
    std::string path_;
};

// Whole-file helpers for tests (native byte paths).
bool WriteBytes(const std::string& path, const std::string& bytes);
bool ReadBytes(const std::string& path, std::string* bytes);
