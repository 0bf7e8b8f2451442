// A program that a hostile one would leave in the download folder under the name of a system program
// ("iexplore.exe"). When it runs, it leaves "planted-program-ran.txt" beside itself and ends.

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    wchar_t* slash = path;
    for (wchar_t* c = path; *c; ++c) {
        if (*c == L'\\')
            slash = c + 1;
    }
    const wchar_t kMark[] = L"planted-program-ran.txt";
    if (size_t(slash - path) + sizeof kMark / sizeof kMark[0] > MAX_PATH)
        return 1;
    for (size_t i = 0; i < sizeof kMark / sizeof kMark[0]; ++i)
        slash[i] = kMark[i];
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 0;
}
