#pragma once

#include <string>

#include "installer/ResourceLibrary.h"

// CreateUserFont's work (see UserFont.h for the layout): reads the source texture with the system's image codecs,
// draws the eight characters with GDI and writes the result as a 32-bit TGA. Relative paths are taken from
// packFolder; absolute ones ("C:\...", "\\server\...", "\...") as they are. The size tag and the label are
// not used.
//
// The source must be exactly width x height. Nothing is written unless everything before the write worked, and the
// target is replaced in one step from a finished temporary file beside it, so a failure leaves no partial file. The
// paths and the face name are GBK, converted strictly for the system's W functions: one that is not GBK fails
// before anything is read or written.
bool RenderUserFont(const std::string& packFolder, const UserFontArguments& request);
