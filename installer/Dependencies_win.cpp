#include "installer/Dependencies_win.h"

#include <string>

#include "support/SystemText_win.h"

namespace {

InstallerDependencies gDependencies;

}  // namespace

void SetInstallerDependencies(const InstallerDependencies& dependencies) {
    gDependencies = dependencies;
}

const InstallerDependencies& Dependencies() {
    return gDependencies;
}

LONG WINAPI DeleteGbkValue(HKEY key, const char* name) {
    std::wstring wide;
    if (!WideFromGbk(name, &wide))
        return ERROR_INVALID_PARAMETER;
    return RegDeleteValueW(key, wide.c_str());
}
