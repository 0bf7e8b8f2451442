#include <windows.h>

#include "package/Package.h"

// The package is appended to our own executable: index the file this process was started from.
void IndexPackage() {
    char path[512] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;  // no path, or one cut short: there is no file to walk
    IndexPackageFile(path, gPackageIndex);
}
