#include "Devavi/Win32/RegTable.h"

#include <cstring>

#include "support/MessageSeam.h"
#include "support/Win32Handles.h"

const char kRegCheckText[] = "REGCHECK Failed! in E:\\TarmProject\\Devavi\\Win32\\RegTable";

namespace {

// Values are read through a 1024-byte buffer; data of 1000 bytes or more counts as absent.
constexpr DWORD kReadBufferSize = 1024;
constexpr DWORD kMaxValueSize = 1000;

// The captions of the REGCHECK box: which step of RegWriteString failed.
constexpr int kCreateKeyLine = 49;
constexpr int kSetValueLine = 50;

void ReportRegCheck(int line) {
    ShowMessage(nullptr, kRegCheckText, FormatLineNumber(line), kMbOk);
}

}  // namespace

bool RegReadString(HKEY root, const char* keyPath, const char* valueName, std::string& value) {
    ScopedKey key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return false;

    char data[kReadBufferSize];
    data[0] = 0;
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ || size >= kMaxValueSize)
        return false;

    // Stored data need not end in a NUL: then every returned byte is the text.
    value.assign(data, strnlen(data, size));
    return true;
}

bool RegWriteString(HKEY root, const char* keyPath, const char* valueName, const char* text) {
    if (!text)
        text = "";
    ScopedKey key;
    if (RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Out(),
                        nullptr) != ERROR_SUCCESS) {
        // Without a key the value cannot be set either; the user sees that step fail as well, but no call is
        // made with a handle that does not exist.
        ReportRegCheck(kCreateKeyLine);
        ReportRegCheck(kSetValueLine);
        return false;
    }
    DWORD size = static_cast<DWORD>(std::strlen(text) + 1);
    if (RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) != ERROR_SUCCESS) {
        ReportRegCheck(kSetValueLine);
        return false;
    }
    return true;
}
