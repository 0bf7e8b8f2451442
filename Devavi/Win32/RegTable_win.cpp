#include "Devavi/Win32/RegTable.h"

#include <cwchar>

#include "support/MessageSeam.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

const char kRegCheckText[] = "REGCHECK Failed! in E:\\TarmProject\\Devavi\\Win32\\RegTable";

namespace {

// Values are read through a buffer of 1024 UTF-16 units, room for every text that is shorter than 1000 bytes in
// GBK (each character takes at least one byte there); a text of 1000 GBK bytes or more counts as absent.
constexpr DWORD kReadBufferUnits = 1024;
constexpr size_t kMaxValueSize = 1000;

// The captions of the REGCHECK box: which step of RegWriteString failed.
constexpr int kCreateKeyLine = 49;
constexpr int kSetValueLine = 50;

void ReportRegCheck(int line) {
    ShowMessage(nullptr, kRegCheckText, FormatLineNumber(line), kMbOk);
}

}  // namespace

RegRead RegReadGbkString(HKEY root,
                         const char* keyPath,
                         const char* valueName,
                         std::string& value,
                         std::wstring* given) {
    std::wstring widePath, wideName;
    if (!WideFromGbk(keyPath, &widePath) || !WideFromGbk(valueName, &wideName))
        return RegRead::kAbsent;
    ScopedKey key;
    if (RegOpenKeyExW(root, widePath.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return RegRead::kAbsent;

    wchar_t data[kReadBufferUnits];
    data[0] = 0;
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return RegRead::kAbsent;

    // Stored data need not end in a NUL: then every returned unit is the text.
    const std::wstring text(data, wcsnlen(data, size / sizeof(wchar_t)));
    std::string gbk;
    if (!GbkFromWide(text, &gbk)) {
        if (given)
            *given = text;
        return RegRead::kNotGbk;
    }
    if (gbk.size() + 1 >= kMaxValueSize)
        return RegRead::kAbsent;
    value = gbk;
    return RegRead::kRead;
}

bool RegReadString(HKEY root, const char* keyPath, const char* valueName, std::string& value) {
    return RegReadGbkString(root, keyPath, valueName, value) == RegRead::kRead;
}

bool RegWriteString(HKEY root, const char* keyPath, const char* valueName, const char* text) {
    std::wstring widePath, wideName, wideText;
    ScopedKey key;
    if (!WideFromGbk(keyPath, &widePath) ||
        RegCreateKeyExW(root, widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Out(),
                        nullptr) != ERROR_SUCCESS) {
        // Without a key the value cannot be set either; the user sees that step fail as well, but no call is
        // made with a handle that does not exist.
        ReportRegCheck(kCreateKeyLine);
        ReportRegCheck(kSetValueLine);
        return false;
    }
    // A text that is not GBK is refused rather than stored as other characters.
    if (!WideFromGbk(valueName, &wideName) || !WideFromGbk(text, &wideText)) {
        ReportRegCheck(kSetValueLine);
        return false;
    }
    const DWORD size = static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key.get(), wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wideText.c_str()), size) !=
        ERROR_SUCCESS) {
        ReportRegCheck(kSetValueLine);
        return false;
    }
    return true;
}
