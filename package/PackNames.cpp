#include "package/PackNames.h"

const CopyRow kCopyTable[21] = {
    {"copyfont_high\\font00a.png", "\\quorvan\\data\\common\\japanese\\high\\font00a.png"},
    {"copyfont_high\\font00b.png", "\\quorvan\\data\\common\\japanese\\high\\font00b.png"},
    {"copyfont_high\\font01a.png", "\\quorvan\\data\\common\\japanese\\high\\font01a.png"},
    {"copyfont_high\\font01b.png", "\\quorvan\\data\\common\\japanese\\high\\font01b.png"},
    {"copyfont_low\\font00a.png", "\\quorvan\\data\\common\\japanese\\low\\font00a.png"},
    {"copyfont_low\\font00b.png", "\\quorvan\\data\\common\\japanese\\low\\font00b.png"},
    {"copyfont_low\\font01a.png", "\\quorvan\\data\\common\\japanese\\low\\font01a.png"},
    {"copyfont_low\\font01b.png", "\\quorvan\\data\\common\\japanese\\low\\font01b.png"},
    {"loading_qvx\\loadscreen.png", "\\media\\data\\etc\\japanese\\loadscreen.png"},
    {"copy_high\\vsname_000004.bmp", "\\quorvan\\data\\common\\japanese\\high\\vsname.bin\\vsname_000004.bmp"},
    {"copy_high\\vsname_000030.bmp", "\\quorvan\\data\\common\\japanese\\high\\vsname.bin\\vsname_000030.bmp"},
    {"copy_high\\cm01_000025.png", "\\quorvan\\data\\cmap\\japanese\\high\\cm01.pd2\\cm01_000025.png"},
    {"copy_high\\cm13_000025.png", "\\quorvan\\data\\cmap\\japanese\\high\\cm13.pd2\\cm13_000025.png"},
    {"copy_high\\cm45_000025.png", "\\quorvan\\data\\cmap\\japanese\\high\\cm45.pd2\\cm45_000025.png"},
    {"copy_low\\vsname_000004.bmp", "\\quorvan\\data\\common\\japanese\\low\\vsname.bin\\vsname_000004.bmp"},
    {"copy_low\\vsname_000030.bmp", "\\quorvan\\data\\common\\japanese\\low\\vsname.bin\\vsname_000030.bmp"},
    {"copy_low\\cm01_000025.png", "\\quorvan\\data\\cmap\\japanese\\low\\cm01.pd2\\cm01_000025.png"},
    {"copy_low\\cm13_000025.png", "\\quorvan\\data\\cmap\\japanese\\low\\cm13.pd2\\cm13_000025.png"},
    {"copy_low\\cm45_000025.png", "\\quorvan\\data\\cmap\\japanese\\low\\cm45.pd2\\cm45_000025.png"},
    {"copytitle_low\\title_000004.bmp", "\\quorvan\\data\\etc\\japanese\\low\\title.pd2\\title_000004.bmp"},
    {"psrpc.qvx", "/psrpc.dll"},
};

const CopyRow kRestoreTable[3] = {
    {"psrpc.org", "/psrpc.dll"},
    {"SM3Config.org", "/SM3Config.exe"},
    {"loading_org\\loadscreen.png", "\\media\\data\\etc\\japanese\\loadscreen.png"},
};
