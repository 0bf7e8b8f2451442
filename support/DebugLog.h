#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Diagnostic output: a log file, a console window, or both, and only while the marker file "c:\tarmdebug"
// exists when the instance is built. Lines begin with "Error >> " or "Warning >> " and carry their own "\n".
class LogOutput {
  public:
    virtual ~LogOutput() = default;
    virtual void Write(const char* text) = 0;
};

// Each thread's lines go to a file of its own: the creating thread's to the given name, any other thread's to the
// name with "_<thread id in hex>" before ".log". An instance is written by one thread at a time.
class DebugLog : public LogOutput {
  public:
    // fileName may be null (no file); it is expected to end in ".log", and a name shorter than four characters
    // leaves the instance without a file. console opens a console window titled "Debug Window".
    DebugLog(const char* fileName, bool console);
    ~DebugLog() override;
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    void Write(const char* text) override;

    // Formats into the instance's 1024-byte buffer and writes it. Longer text is cut at a character boundary
    // and still ends its line.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool HasFile() const { return file_ != nullptr; }
    bool HasConsole() const { return console_ != nullptr; }

  private:
    bool SwitchFile(uint32_t thread);

    char text_[1024];
    void* console_ = nullptr;  // the standard output of the console this instance created
    std::string baseName_;     // the file name without its last four characters
    uint32_t lastWriter_ = 0;
    uint32_t creator_ = 0;
    std::FILE* file_ = nullptr;
    std::vector<uint32_t> startedThreads_;  // threads whose file this instance has already begun
};

// The system's four process-wide instances, built before the entry point without file and console. The first
// receives the lines that portable code writes through WriteLogLine (support/LogSeam.h).
constexpr int kSystemLogCount = 4;
extern DebugLog gDebugLogs[kSystemLogCount];

// The marker that switches the log on.
extern const char kDebugMarkerPath[];
