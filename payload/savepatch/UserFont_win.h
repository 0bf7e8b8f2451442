#pragma once

#include <string>

// CreateUserFont's work (see UserFont.h for the layout): reads the source texture with the system's image codecs,
// draws the eight characters with GDI and writes the result as a 32-bit TGA. Relative paths are taken from
// packFolder; absolute ones ("C:\...", "\\server\...", "\...") as they are.
//
// The source must be exactly width x height. Nothing is written unless everything before the write worked, and the
// target is replaced in one step from a finished temporary file beside it, so a failure leaves no partial file.
struct UserFontRequest {
    int width;
    int height;
    const char* faceName;  // GBK; empty: the system's choice for the GB2312 character set
    int glyphSize;
    int firstColumn;
    int firstRow;
    const char* text;        // the 17-byte text block
    const char* targetPath;  // GBK
    const char* sourcePath;  // GBK
};

bool RenderUserFont(const std::string& packFolder, const UserFontRequest& request);
