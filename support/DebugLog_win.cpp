#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "support/DebugLog.h"
#include "support/Gbk.h"
#include "support/LogSeam.h"
#include "support/StdioFile.h"
#include "support/SystemText_win.h"

const char kDebugMarkerPath[] = "c:\\tarmdebug";

namespace {

constexpr char kConsoleTitle[] = "Debug Window";
constexpr SHORT kConsoleColumns = 70;
constexpr SHORT kConsoleLines = 40;
constexpr size_t kExtensionLength = 4;  // ".log"

bool MarkerExists() {
    return bool(StdioFile(kDebugMarkerPath, "r"));
}

// Shortens text that filled a buffer of capacity bytes to whole characters followed by "\n", so that a cut
// never leaves half of a two-byte character and the line still ends.
void EndCutLine(char* text, size_t capacity) {
    const size_t room = capacity - 2;  // the "\n" and the terminator
    const size_t end = WholeGbkPrefix(text, std::strlen(text), room);
    text[end] = '\n';
    text[end + 1] = 0;
}

}  // namespace

DebugLog::DebugLog(const char* fileName, bool console) {
    text_[0] = 0;
    if (!MarkerExists())
        return;

    if (fileName && std::strlen(fileName) >= kExtensionLength) {
        file_ = OpenGbkFile(fileName, "w");
        if (file_) {
            creator_ = lastWriter_ = GetCurrentThreadId();
            baseName_.assign(fileName, std::strlen(fileName) - kExtensionLength);
            startedThreads_.push_back(creator_);
        }
    }

    if (console && AllocConsole()) {
        SetConsoleTitleW(Wide(kConsoleTitle).c_str());
        HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (output && output != INVALID_HANDLE_VALUE) {
            console_ = output;
            COORD size = {kConsoleColumns, kConsoleLines};
            SetConsoleScreenBufferSize(output, size);
        } else {
            FreeConsole();
        }
    }
}

DebugLog::~DebugLog() {
    if (file_)
        std::fclose(file_);
    if (console_)
        FreeConsole();
}

// Closes the current thread's file and opens the writing thread's own. Its first opening in this instance's life
// starts it empty; later ones add to it, so lines written before another thread took a turn stay in place.
bool DebugLog::SwitchFile(uint32_t thread) {
    std::fclose(file_);
    file_ = nullptr;

    char suffix[32];
    if (thread == creator_)
        std::snprintf(suffix, sizeof suffix, ".log");
    else
        std::snprintf(suffix, sizeof suffix, "_%x.log", static_cast<unsigned>(thread));
    const std::string name = baseName_ + suffix;

    bool started = false;
    for (uint32_t id : startedThreads_)
        started = started || id == thread;
    file_ = OpenGbkFile(name.c_str(), started ? "a" : "w+");
    if (file_ && !started)
        startedThreads_.push_back(thread);
    return file_ != nullptr;
}

void DebugLog::Write(const char* text) {
    if (!text)
        return;
    if (file_) {
        uint32_t thread = GetCurrentThreadId();
        if (thread != lastWriter_) {
            lastWriter_ = thread;
            SwitchFile(thread);  // a file that does not open is given up for good
        }
    }
    const size_t length = std::strlen(text);
    if (length == 0)
        return;
    if (file_)
        std::fwrite(text, 1, length, file_);
    if (console_) {
        // The console shows UTF-16 whatever its code page; Printf cuts only between whole characters.
        const std::wstring shown = WideForDisplay(text, length);
        DWORD written = 0;
        WriteConsoleW(static_cast<HANDLE>(console_), shown.c_str(), static_cast<DWORD>(shown.size()), &written,
                      nullptr);
    }
}

void DebugLog::Printf(const char* format, ...) {
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text_, sizeof text_, format, args);
    va_end(args);
    if (length < 0)
        text_[0] = 0;
    else if (static_cast<size_t>(length) >= sizeof text_)
        EndCutLine(text_, sizeof text_);
    Write(text_);
}

// --- the system's instances ----------------------------------------------------------------------------------

DebugLog gDebugLogs[kSystemLogCount] = {{nullptr, false}, {nullptr, false}, {nullptr, false}, {nullptr, false}};

namespace {

void WriteToFirstLog(const char* line) {
    gDebugLogs[0].Write(line);
}

// Built after the instances and destroyed before them, so the seam never points at a destroyed log.
struct FirstLogRoute {
    FirstLogRoute() { SetLogLineWriter(&WriteToFirstLog); }
    ~FirstLogRoute() { SetLogLineWriter(nullptr); }
} gFirstLogRoute;

}  // namespace
