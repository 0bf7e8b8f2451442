#pragma once

#include <functional>
#include <string>
#include <vector>

// Links of the machine Wine runs on, made and removed as a program outside Wine would act on the prefix: under Wine
// they are no reparse points, and only what a handle really opened tells them (support/HeldFolder_win.h). Paths are
// GBK Windows paths.

// Wine's own name of a Windows path on the machine it runs on; empty when Wine has none.
std::string UnixName(const std::string& path);

// Runs a program of the machine Wine runs on ("/bin/ln -s a b", in that machine's UTF-8). Wine starts it by its path
// on drive Z: and does not wait for it: done() is awaited, for up to 30 s.
bool RunOnHost(const std::string& commandLine, const std::function<bool()>& done);

// A symbolic link of the machine Wine runs on at link, to target (a file or a folder).
bool MakeUnixLink(const std::string& target, const std::string& link);

// Removes path, a link as the link itself and a folder with everything in it, links as links: asked to delete a
// link of its machine, Wine deletes what the link points at, and TempDir's removal would too.
bool RemoveOnHost(const std::string& path);

// The names in folder, sorted, "." and ".." left out: what a link must not have changed.
std::vector<std::string> NamesIn(const std::string& folder);
