// A stand-in for the helper library in the settings dialog's tests. Each CreateUserFont call appends one record
// to "calls.bin" beside the library: its eleven arguments, each followed by a zero byte, the integers as decimal
// text, and a newline. It answers false while "fail.flag" exists beside it and is empty or holds the call's size tag
// ("520_560": only that texture fails), true otherwise.

#include <windows.h>

#include <cstdio>
#include <string>

#include "payload/savepatch/UserFontExport_win.h"

namespace {

std::string OwnFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnFolder), &self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, sizeof path);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\'));
}

void Field(std::string& record, const char* text) {
    record += text ? text : "(null)";
    record += '\0';
}

void Field(std::string& record, int value) {
    Field(record, std::to_string(value).c_str());
}

}  // namespace

bool CreateUserFontWith(const UserFontArguments& a) {
    std::string record;
    Field(record, a.sizeName);
    Field(record, a.width);
    Field(record, a.height);
    Field(record, a.fontName);
    Field(record, a.faceName);
    Field(record, a.glyphSize);
    Field(record, a.firstColumn);
    Field(record, a.firstRow);
    Field(record, a.text);
    Field(record, a.targetPath);
    Field(record, a.sourcePath);
    record += '\n';
    const std::string folder = OwnFolder();
    if (std::FILE* log = std::fopen((folder + "\\calls.bin").c_str(), "ab")) {
        std::fwrite(record.data(), 1, record.size(), log);
        std::fclose(log);
    }
    std::string failing;
    if (std::FILE* flag = std::fopen((folder + "\\fail.flag").c_str(), "rb")) {
        char tag[64] = {};
        failing.assign(tag, std::fread(tag, 1, sizeof tag - 1, flag));
        std::fclose(flag);
        return !failing.empty() && failing != a.sizeName;
    }
    return true;
}
