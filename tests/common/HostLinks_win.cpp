#include <windows.h>

#include "tests/common/HostLinks_win.h"

#include <algorithm>
#include <vector>

#include "support/SystemText_win.h"

namespace {

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string UnixName(const std::string& path) {
    using Converter = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(Wide(path).c_str()) : nullptr;
    if (!unix)
        return std::string();
    std::string name = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return name;
}

bool RunOnHost(const std::string& commandLine, const std::function<bool()>& done) {
    std::wstring line(commandLine.size() + 1, L'\0');
    line.resize(
        MultiByteToWideChar(CP_UTF8, 0, commandLine.data(), int(commandLine.size()), &line[0], int(line.size())));
    std::wstring program = L"Z:" + line.substr(0, line.find(L' '));
    std::replace(program.begin(), program.end(), L'/', L'\\');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; waited < 30000; waited += 20) {
        if (done())
            return true;
        Sleep(20);
    }
    return false;
}

bool MakeUnixLink(const std::string& target, const std::string& link) {
    const std::string to = UnixName(target), from = UnixName(link);  // the host's own spelling of both names
    return !to.empty() && !from.empty() &&
           RunOnHost("/bin/ln -s \"" + to + "\" \"" + from + "\"", [&] { return Exists(link); });
}

bool RemoveOnHost(const std::string& path) {
    const std::string unix = UnixName(path);
    return !unix.empty() && RunOnHost("/bin/rm -rf \"" + unix + "\"", [&] { return !Exists(path); });
}

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name;
        GbkFromWide(data.cFileName, &name);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}
