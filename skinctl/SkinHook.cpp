#include "skinctl/SkinHook.h"

// Until the skinned controls exist, every window keeps the system's look.
void InstallSkinHook(COLORREF) {}

void RemoveSkinHook() {}
