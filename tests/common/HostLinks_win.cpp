#include "support/VistaCalls_win.h"

#include "tests/common/HostLinks_win.h"

#include <algorithm>
#include <vector>

#include "support/SystemText_win.h"
#include "tests/common/TestFiles_win.h"

namespace {

// True when the system names folder as the root of drive ("\\?\G:\"): Wine learns of a new drive letter a moment
// after its link is made, and until then names everything by the older drive.
bool NamedAsRootOf(const std::string& folder, const std::string& drive) {
    HANDLE handle =
        CreateFileW(Wide(folder).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetFinalPathNameByHandleW(handle, path, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    return length > 0 && length < MAX_PATH && std::wstring(path) == L"\\\\?\\" + Wide(drive) + L"\\";
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

std::string WinePathOf(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool RunOnHost(const std::string& commandLine, const std::function<bool()>& done, const std::string& folder) {
    std::wstring line(commandLine.size() + 1, L'\0');
    line.resize(
        MultiByteToWideChar(CP_UTF8, 0, commandLine.data(), int(commandLine.size()), &line[0], int(line.size())));
    return RunOnHostWide(line, done, folder);
}

bool RunOnHostWide(std::wstring line, const std::function<bool()>& done, const std::string& folder) {
    const std::wstring goBetween = Wide(WinePathOf(QV_HOST_RUN));
    std::wstring startIn;
    if (!folder.empty() && !WideFromGbk(folder, &startIn))
        return false;
    line = L"\"" + goBetween + L"\" \"" + startIn + L"\" " + line;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(goBetween.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    DWORD started = 1;
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &started))
        started = 1;
    CloseHandle(process.hProcess);
    if (started != 0)
        return false;
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

DriveAtFolder::DriveAtFolder(const std::string& folder) {
    wchar_t prefix[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    const std::string target = UnixName(folder);
    if (length == 0 || length >= MAX_PATH || target.empty())
        return;
    std::string devices(length * 3, '\0');  // the host's UTF-8
    devices.resize(
        WideCharToMultiByte(CP_UTF8, 0, prefix, int(length), &devices[0], int(devices.size()), nullptr, nullptr));
    for (char letter = 'G'; letter <= 'Y'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (GetDriveTypeW(Wide(root).c_str()) != DRIVE_NO_ROOT_DIR)
            continue;
        const std::string link = devices + "/dosdevices/" + char(letter - 'A' + 'a') + ":";
        if (!RunOnHost("/bin/ln -s \"" + target + "\" \"" + link + "\"", [&] { return Exists(root); }))
            return;
        link_ = link;
        drive_ = std::string(1, letter) + ":";
        // wine64 names the folder by the new drive about a second later; some Wine builds keep the older name.
        for (int waited = 0; waited < 5000 && !NamedAsRootOf(folder, drive_); waited += 50)
            Sleep(50);
        return;
    }
}

DriveAtFolder::~DriveAtFolder() {
    if (!link_.empty())
        RunOnHost("/bin/rm -f \"" + link_ + "\"", [this] { return !Exists(drive_ + "\\"); });
}
