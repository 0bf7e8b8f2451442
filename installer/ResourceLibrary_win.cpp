#include "installer/ResourceLibrary.h"

#include <cstdio>
#include <string>

#include "support/Captions.h"
#include "support/Gbk.h"
#include "support/MessageSeam.h"

const char kResourceInstallExport[] = "?ResourceInstall@@YAX_NPAUHWND__@@PAD@Z";
const char kCreateUserFontExport[] = "?CreateUserFont@@YA_NPBDHH00HHH000@Z";

namespace {

const char kLoadFailedText[] = "无法加载资源安装库：\n";
const char kExportMissingText[] = "资源安装库缺少函数 %s：\n";

// Callers join the folder and the file name with "/"; the loader is given "\\" throughout. The altered search
// order lets the library find its own dependencies beside it.
HMODULE LoadByPath(const char* path) {
    std::string native(path ? path : "");
    UseBackslashes(native);
    if (native.empty())
        return nullptr;
    return LoadLibraryExA(native.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The library for the length of one call.
class ScopedLibrary {
  public:
    explicit ScopedLibrary(const char* path) : module_(Load(path)) {}
    ~ScopedLibrary() {
        if (module_)
            FreeLibrary(module_);
    }
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }
    FARPROC Find(const char* exportName) const { return GetProcAddress(module_, exportName); }

  private:
    static HMODULE Load(const char* path) { return LoadByPath(path); }

    HMODULE module_;
};

void ReportLoadFailure(const char* path) {
    std::string text = kLoadFailedText;
    text += path ? path : "";
    ShowMessage(nullptr, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
}

void ReportMissingExport(const char* path, const char* name) {
    char head[128];
    std::snprintf(head, sizeof head, kExportMissingText, name);
    std::string text = head;
    text += path;
    ShowMessage(nullptr, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
}

// Loads the library and finds one export; reports and returns null when either fails. The library stays loaded
// as long as library lives.
template <typename Proc>
Proc FindExport(const ScopedLibrary& library, const char* path, const char* exportName, const char* shownName) {
    if (!library.loaded()) {
        ReportLoadFailure(path);
        return nullptr;
    }
    FARPROC address = library.Find(exportName);
    if (!address) {
        ReportMissingExport(path, shownName);
        return nullptr;
    }
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(address));
}

}  // namespace

bool CallResourceInstall(const char* libraryPath, HWND status, char* statusText) {
    ScopedLibrary library(libraryPath);
    auto resourceInstall =
        FindExport<ResourceInstallProc>(library, libraryPath, kResourceInstallExport, "ResourceInstall");
    if (!resourceInstall)
        return false;
    resourceInstall(true, status, statusText);
    return true;
}

bool CallCreateUserFont(const char* libraryPath,
                        const char* sizeName,
                        int width,
                        int height,
                        const char* fontName,
                        const char* faceName,
                        int pointSize,
                        int firstColumn,
                        int firstRow,
                        const char* text,
                        const char* targetPath,
                        const char* sourcePath) {
    const UserFontLibrary library(libraryPath);
    const CreateUserFontProc createUserFont = library.function();
    return createUserFont && createUserFont(sizeName, width, height, fontName, faceName, pointSize, firstColumn,
                                            firstRow, text, targetPath, sourcePath);
}

UserFontLibrary::UserFontLibrary(const char* libraryPath) : module_(LoadByPath(libraryPath)) {
    if (!module_) {
        ReportLoadFailure(libraryPath);
        return;
    }
    FARPROC address = GetProcAddress(module_, kCreateUserFontExport);
    if (!address) {
        ReportMissingExport(libraryPath, "CreateUserFont");
        return;
    }
    createUserFont_ = reinterpret_cast<CreateUserFontProc>(reinterpret_cast<void*>(address));
}

UserFontLibrary::~UserFontLibrary() {
    if (module_)
        FreeLibrary(module_);
}
