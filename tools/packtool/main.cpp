// packtool: makes, lists, extracts and verifies the installer's packages.
//
//   packtool pack [--level 1|999] [--append-to EXE] OUT SOURCE...
//   packtool list PACKAGE
//   packtool extract PACKAGE OUTDIR [NAME...]
//   packtool verify PACKAGE
//   packtool brand IMAGE OUT --normal WINDOW1.bmp --hot WINDOW2.bmp [--icon FILE.ico] [--cursor FILE.cur]
//                  [--set NAME=VALUE]...
//   packtool names
//   packtool layout WINPOS.TXT
//   packtool facts
//
// A SOURCE is a folder (every file below it, stored under its relative path with "\" separators) or a manifest
// (lines "STORED_NAME<TAB>LOCAL_PATH", read as GBK bytes; blank lines and lines starting with '#' are skipped).
// brand writes a copy of the bare program image with a pack maintainer's skin pictures (24-bit uncompressed BMP),
// icon, cursor and version texts (ProductName, ProductVersion, FileVersion, FileDescription, CompanyName,
// LegalCopyright; UTF-8) in place of ours; brand first, then pack, then sign.
// names prints the entries that the installer looks up by name: a header line, then "ENTRY<TAB>TARGET<TAB>ROLE"
// per line (GBK, "\" separators; TARGET is the place in the game folder, "-" for none; ROLE is layout, library,
// config, copy, restore or folder), for scripts and checks that need the installer's copy table.
// layout reads a layout file with the program's own parser and prints, for the first record of every command word,
// "COMMAND<TAB>ID<TAB>LEFT<TAB>TOP<TAB>RIGHT<TAB>BOTTOM<TAB>FIRST<TAB>SECOND" (GBK; ID the control identifier the
// window gives it; a line feed in a text as the four bytes \r\n). facts prints "NAME<TAB>VALUE" lines: the game's
// install key and its value names, the first control identifier and the save folder below the documents folder.
// Both start with a '#' header line; they are for the scripts that drive the window.
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
        "         one line per entry the installer looks up: ENTRY<TAB>TARGET<TAB>ROLE (after a '#' header line)\n"
        "       packtool layout WINPOS.TXT\n"
        "         one line per command word of the layout file (its first record):\n"
        "         COMMAND<TAB>ID<TAB>LEFT<TAB>TOP<TAB>RIGHT<TAB>BOTTOM<TAB>FIRST<TAB>SECOND (after a '#' header line)\n"
        "       packtool facts\n"
        "         the install key, its value names, the first control id and the save folder: NAME<TAB>VALUE lines\n",
        stderr);
}

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
};

constexpr Command kCommands[] = {
    {"pack", Pack},   {"list", List},   {"extract", Extract}, {"verify", Verify},
    {"brand", Brand}, {"names", Names}, {"layout", Layout},   {"facts", Facts},
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = CommandLineUtf8(argc, argv);
    if (args.size() >= 2) {
        for (const Command& command : kCommands) {
            if (args[1] == command.name)
                return command.run(args);
        }
    }
    PrintUsage();
    return kExitUsage;
}
