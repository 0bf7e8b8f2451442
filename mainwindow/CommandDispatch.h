#pragma once

// Command dispatch and the install and uninstall flows belong to the installer engine; the main window reaches
// them through this header.
#include "installer/CommandDispatch.h"
