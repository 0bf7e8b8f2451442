#include "installer/InstallMark_win.h"

#include "installer/Dependencies_win.h"
#include "installer/FileHelpers.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

bool ReadInstalledFolder(std::string& folder) {
    std::string value;
    if (!RegReadString(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanInfoValue, value) ||
        !NormaliseInstalledFolder(value))
        return false;
    folder = value;
    return true;
}

RegRead ReadGameFolder(std::string& folder, std::wstring* given) {
    return RegReadGbkString(HKEY_CURRENT_USER, kInstallKeyPath, kInstallInfoValue, folder, given);
}

bool WriteInstallMark(const std::string& folder) {
    std::string marked;
    return RegWriteString(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanInfoValue, folder.c_str()) &&
           ReadInstalledFolder(marked) && marked == folder;
}

MarkRemoval RemoveInstallMark() {
    ScopedKey key;
    std::wstring keyPath;
    if (!WideFromGbk(kInstallKeyPath, &keyPath) ||
        RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS)
        return MarkRemoval::kKeyNotOpened;
    const LONG result = Dependencies().deleteMarkValue(key.get(), kQuorvanInfoValue);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? MarkRemoval::kRemoved : MarkRemoval::kValueStays;
}

bool ReadGeforce2mxFlag(std::string& flag) {
    return RegReadString(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanGeforce2mxValue, flag);
}

bool WriteGeforce2mxFlag(const char* flag) {
    return RegWriteString(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanGeforce2mxValue, flag);
}
