#include "installer/Dependencies_win.h"

namespace {

InstallerDependencies gDependencies;

}  // namespace

void SetInstallerDependencies(const InstallerDependencies& dependencies) {
    gDependencies = dependencies;
}

const InstallerDependencies& Dependencies() {
    return gDependencies;
}
