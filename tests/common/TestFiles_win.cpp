#include "tests/common/TestFiles_win.h"

#include "support/SystemText_win.h"

std::wstring WideOf(const std::string& gbk) {
    std::wstring wide;
    WideFromGbk(gbk, &wide);
    return wide;
}

std::string GbkOf(const std::wstring& wide) {
    std::string gbk;
    return GbkFromWide(wide, &gbk) ? gbk : std::string("<not GBK>");
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
    HANDLE file = CreateFileW(WideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char chunk[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0)
        bytes->append(chunk, got);
    CloseHandle(file);
    return ok;
}

std::string FileBytes(const std::string& path) {
    std::string bytes;
    return ReadFileBytes(path, &bytes) ? bytes : std::string("<missing>");
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(WideOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && ok;
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(WideOf(path).c_str(), nullptr) != FALSE;
}

DWORD AttributesOf(const std::string& path) {
    return GetFileAttributesW(WideOf(path).c_str());
}

bool Exists(const std::string& path) {
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((WideOf(folder) + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(GbkOf(name));
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return names;
}
