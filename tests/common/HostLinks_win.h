#pragma once

#include <functional>
#include <string>
#include <vector>

// Links of the machine Wine runs on, made and removed as a program outside Wine would act on the prefix: under Wine
// they are no reparse points, and only what a handle really opened tells them (support/HeldFolder_win.h). Paths are
// GBK Windows paths.

// Wine's own name of a Windows path on the machine it runs on; empty when Wine has none.
std::string UnixName(const std::string& path);

// Runs a program of the machine Wine runs on ("/bin/ln -s a b", in that machine's UTF-8), in folder when one is
// given. A go-between process (host_run.exe) starts it by its path on drive Z: and does not wait for it: done() is
// awaited, for up to 30 s.
bool RunOnHost(const std::string& commandLine, const std::function<bool()>& done, const std::string& folder = "");
// The same for a command line already in UTF-16 (such as one spelt from GBK names).
bool RunOnHostWide(std::wstring commandLine, const std::function<bool()>& done, const std::string& folder = "");

// The Windows path of a file of the machine Wine runs on, through drive Z: ("/usr/x" is "Z:\usr\x").
std::string WinePathOf(const char* unixPath);

// A symbolic link of the machine Wine runs on at link, to target (a file or a folder).
bool MakeUnixLink(const std::string& target, const std::string& link);

// Removes path, a link as the link itself and a folder with everything in it, links as links: asked to delete a
// link of its machine, Wine deletes what the link points at, and TempDir's removal would too.
bool RemoveOnHost(const std::string& path);

// The names in folder, sorted, "." and ".." left out: what a link must not have changed.
std::vector<std::string> NamesIn(const std::string& folder);

// A drive letter of the private prefix whose root is folder, for as long as the object lives: Wine's drives are links
// in its dosdevices folder, and the first free letter from G: is taken. drive() is "G:", or empty when none could be
// made. Once made, wine64 names the folder as the drive's root ("\\?\G:\") and what is below it under the drive;
// other builds of Wine may keep naming it by the older drive.
class DriveAtFolder {
  public:
    explicit DriveAtFolder(const std::string& folder);
    ~DriveAtFolder();
    DriveAtFolder(const DriveAtFolder&) = delete;
    DriveAtFolder& operator=(const DriveAtFolder&) = delete;

    const std::string& drive() const { return drive_; }

  private:
    std::string link_;  // the drive's link in the dosdevices folder, in the host's own spelling
    std::string drive_;
};
