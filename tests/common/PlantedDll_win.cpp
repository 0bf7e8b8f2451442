// A DLL that a hostile program would leave in the download folder under the name of a system DLL. When it is
// loaded, it leaves "planted-ran.txt" beside itself. It exports what the system DLLs it stands in for export, so
// that a program importing them statically would start with it.

#include <windows.h>

namespace {

void LeaveMark(HINSTANCE self) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(self, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    char* slash = path;
    for (char* c = path; *c; ++c) {
        if (*c == '\\')
            slash = c + 1;
    }
    const char kMark[] = "planted-ran.txt";
    if (static_cast<size_t>(slash - path) + sizeof kMark > sizeof path)
        return;
    for (size_t i = 0; i < sizeof kMark; ++i)
        slash[i] = kMark[i];
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH)
        LeaveMark(self);
    return TRUE;
}

extern "C" int __cdecl PlantedAnswer() {
    return 42;
}

// The stand-ins do nothing: the mark is what counts.
extern "C" BOOL WINAPI PlantedGradientFill(HDC, void*, ULONG, void*, ULONG, ULONG) {
    return FALSE;
}

extern "C" BOOL WINAPI PlantedTrackMouseEvent(void*) {
    return FALSE;
}

extern "C" HRESULT WINAPI PlantedConvertBitmapSource(const GUID*, void*, void**) {
    return E_FAIL;
}
