// packtool: makes, lists, extracts and verifies the installer's packages.
//
//   packtool pack [--level 1|999] [--append-to EXE] OUT SOURCE...
//   packtool list PACKAGE
//   packtool extract PACKAGE OUTDIR [NAME...]
//   packtool verify PACKAGE
//   packtool brand IMAGE OUT --normal WINDOW1.bmp --hot WINDOW2.bmp [--icon FILE.ico] [--cursor FILE.cur]
//                  [--set NAME=VALUE]...
//   packtool names
//
// A SOURCE is a folder (every file below it, stored under its relative path with "\" separators) or a manifest
// (lines "STORED_NAME<TAB>LOCAL_PATH", read as GBK bytes; blank lines and lines starting with '#' are skipped).
// brand writes a copy of the bare program image with a pack maintainer's skin pictures (24-bit uncompressed BMP),
// icon, cursor and version texts (ProductName, ProductVersion, FileVersion, FileDescription, CompanyName,
// LegalCopyright; UTF-8) in place of ours; brand first, then pack, then sign.
// names prints the entries that the installer looks up by name: a header line, then "ENTRY<TAB>TARGET<TAB>ROLE"
// per line (GBK, "\" separators; TARGET is the place in the game folder, "-" for none; ROLE is layout, library,
// config, copy, restore or folder), for scripts and checks that need the installer's copy table.
// Exit status: 0 success, 1 a check failed (extract still writes the bytes), 2 usage or I/O error.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/packtool/Commands.h"
#include "tools/packtool/HostFs.h"

void PrintUsage() {
    std::fputs(
        "usage: packtool pack [--level 1|999] [--append-to EXE] OUT SOURCE...\n"
        "       packtool list PACKAGE\n"
        "       packtool extract PACKAGE OUTDIR [NAME...]\n"
        "       packtool verify PACKAGE\n"
        "       packtool brand IMAGE OUT --normal WINDOW1.bmp --hot WINDOW2.bmp [--icon FILE.ico] [--cursor FILE.cur]\n"
        "                      [--set NAME=VALUE]...\n"
        "         NAME: ProductName, ProductVersion, FileVersion, FileDescription, CompanyName or LegalCopyright\n"
        "       packtool names\n"
        "         one line per entry the installer looks up: ENTRY<TAB>TARGET<TAB>ROLE (after a '#' header line)\n",
        stderr);
}

int main(int argc, char** argv) {
    std::vector<std::string> args = CommandLineUtf8(argc, argv);
    if (args.size() < 2) {
        PrintUsage();
        return kExitUsage;
    }
    const std::string& command = args[1];
    if (command == "pack")
        return Pack(args);
    if (command == "list")
        return List(args);
    if (command == "extract")
        return Extract(args);
    if (command == "verify")
        return Verify(args);
    if (command == "brand")
        return Brand(args);
    if (command == "names")
        return Names(args);
    PrintUsage();
    return kExitUsage;
}
