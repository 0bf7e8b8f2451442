#pragma once

#include <string>

#include "installer/ResourceLibrary_win.h"

// CreateUserFont's work (see UserFont.h for the layout): reads the source texture with the system's image codecs,
// draws the eight characters with GDI and writes the result as a 32-bit TGA. Relative paths lie in the pack folder
// below libraryFolder (the folder of the library, held as it is named: a game reached through a junction is still the
// player's game), absolute ones on a drive ("C:\...") below the drive's root; every folder below that start and the
// file itself are opened relative to the one above and checked (support/HeldFolder_win.h): the source is read and the
// target written through handles that are no link and no file with a second name. Other absolute forms ("\\server",
// "\...") and relative paths that leave the pack folder ("..") are refused. The size tag and the label are not used.
//
// The source must be exactly width x height. Nothing is written unless everything before the write worked, and the
// target is put in place whole (HeldFolder::PutFile, its missing folders made), so a failure leaves no partial file.
// The paths and the face name are GBK, converted strictly for the system's W functions: one that is not GBK fails
// before anything is read or written.
bool RenderUserFont(const std::string& libraryFolder, const UserFontArguments& request);
