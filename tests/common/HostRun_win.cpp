// Starts a program of the machine Wine runs on for a test, and ends without waiting for it:
//   host_run.exe "FOLDER" /bin/ln -s "/a" "/b"
// The rest of its command line after the quoted folder is the program's, which it starts by its path on drive Z:,
// in FOLDER (a Windows path; "" leaves the folder to Wine). The folder is handed to the program's start, not made
// the go-between's own: a folder the test holds open without sharing cannot be a Windows process's current folder. A test process never starts such a program itself: on 32-bit Wine the start can spoil the process that
// makes it (every later registry call failing with an invalid handle, or the process ending), so this go-between
// takes that risk and the test only waits for it.

#include <windows.h>

#include <string>

namespace {

// Past one argument of line (quoted, or up to a space) and the spaces after it; *argument gets it, quotes taken off.
const wchar_t* SkipArgument(const wchar_t* line, std::wstring* argument) {
    const wchar_t* begin = line;
    if (*line == L'"') {
        begin = ++line;
        while (*line && *line != L'"')
            ++line;
        argument->assign(begin, line);
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
        argument->assign(begin, line);
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

}  // namespace

int main() {
    std::wstring self, folder;
    std::wstring line = SkipArgument(SkipArgument(GetCommandLineW(), &self), &folder);
    if (line.empty() || line[0] != L'/')
        return 2;
    std::wstring program = L"Z:" + line.substr(0, line.find(L' '));
    for (wchar_t& c : program) {
        if (c == L'/')
            c = L'\\';
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
