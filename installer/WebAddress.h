#pragma once

#include <string>

// The web addresses that an "iejump" record may open: "http://" or "https://" (in any case) and at least one more
// character, with no control character, space or double quote anywhere (the address is handed on as one argument of
// a command line). Anything else (a file, a program, "javascript:", a damaged layout file) is opened by nothing.
bool IsWebAddress(const std::string& address);
