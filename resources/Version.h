#pragma once

// The installer's version as its version resource and the helper library's show it. Change the four numbers, the
// text and the version of the assembly identity in QuorvanSetup.manifest together.
#define QV_VERSION_MAJOR 1
#define QV_VERSION_MINOR 0
#define QV_VERSION_PATCH 0
#define QV_VERSION_BUILD 0
#define QV_VERSION_TEXT "1.0.0.0"
