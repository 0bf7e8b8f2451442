#include <windows.h>

#include <string>

#include "package/Package.h"
#include "support/SystemText_win.h"

namespace {

// The longest path the system gives a module, in UTF-16 units.
constexpr DWORD kModulePathUnits = 32768;

}  // namespace

// The package is appended to our own executable: index the file this process was started from. A path that is cut
// short or that GBK cannot spell (a folder with a Korean name) names no file the index could open: nothing is
// indexed, as for a file that cannot be opened, rather than a look-alike path being walked.
void IndexPackage() {
    std::wstring wide(kModulePathUnits, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &wide[0], kModulePathUnits);
    if (length == 0 || length >= kModulePathUnits)
        return;
    wide.resize(length);
    std::string path;
    if (!GbkFromWide(wide, &path))
        return;
    IndexPackageFile(path.c_str(), gPackageIndex);
}
