#pragma once

#include "installer/ResourceLibrary_win.h"

// The CreateUserFont export (UserFontExport_win.cpp) of a helper library: it hands its arguments, as they came, to
// this function, which each library that links the export defines, and answers what it returns.
bool CreateUserFontWith(const UserFontArguments& arguments);
