#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "support/DebugLog.h"
#include "tests/common/TempDir.h"

namespace {

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Contents(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadBytes(path, &bytes)) << path;
    return bytes;
}

// The log files are text streams: each "\n" reaches the disk as CR LF.
std::string OnDisk(const std::string& text) {
    std::string bytes;
    for (char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
}

// A second thread that runs the jobs handed to it one at a time, so that the same thread can write again later.
class OtherThread {
  public:
    OtherThread()
        : go_(CreateEventA(nullptr, FALSE, FALSE, nullptr)), done_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, &OtherThread::Main, this, 0, &id_);
    }
    ~OtherThread() {
        Do(nullptr);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(go_);
        CloseHandle(done_);
    }
    DWORD id() const { return id_; }

    // Runs job on the thread and waits for it; a null job ends the thread.
    void Do(std::function<void()> job) {
        job_ = std::move(job);
        SetEvent(go_);
        WaitForSingleObject(done_, 5000);
    }

  private:
    static DWORD WINAPI Main(void* self) {
        OtherThread* other = static_cast<OtherThread*>(self);
        for (;;) {
            WaitForSingleObject(other->go_, INFINITE);
            bool last = !other->job_;
            if (!last)
                other->job_();
            SetEvent(other->done_);
            if (last)
                return 0;
        }
    }

    HANDLE go_;
    HANDLE done_;
    HANDLE thread_;
    DWORD id_ = 0;
    std::function<void()> job_;
};

// The marker lives on drive C: of the test prefix. These tests hold a CTest resource lock on it.
class DebugLogTest : public ::testing::Test {
  protected:
    void SetUp() override { DeleteFileA(kDebugMarkerPath); }
    void TearDown() override { DeleteFileA(kDebugMarkerPath); }
    void PlaceMarker() { ASSERT_TRUE(WriteBytes(kDebugMarkerPath, "")); }

    std::string ThreadLog(DWORD thread) {
        char name[32];
        std::snprintf(name, sizeof name, "trace_%x.log", static_cast<unsigned>(thread));
        return dir_.Join(name);
    }

    TempDir dir_;
};

}  // namespace

TEST_F(DebugLogTest, WithoutTheMarkerNothingIsWritten) {
    const std::string path = dir_.Join("trace.log");
    {
        DebugLog log(path.c_str(), true);
        EXPECT_FALSE(log.HasFile());
        EXPECT_FALSE(log.HasConsole());
        log.Write("Error >> something\n");
        log.Printf("Warning >> %s\n", "more");
    }
    EXPECT_FALSE(FileExists(path));
    char title[64] = "";
    GetConsoleTitleA(title, sizeof title);
    EXPECT_STRNE("Debug Window", title);
}

TEST_F(DebugLogTest, EachThreadWritesItsOwnFile) {
    PlaceMarker();
    const std::string path = dir_.Join("trace.log");
    ASSERT_TRUE(WriteBytes(path, "stale creator lines\n"));
    OtherThread other;
    ASSERT_TRUE(WriteBytes(ThreadLog(other.id()), "stale thread lines\n"));
    {
        DebugLog log(path.c_str(), false);
        ASSERT_TRUE(log.HasFile());
        log.Write("one\n");
        other.Do([&log] { log.Write("two\n"); });
        log.Printf("three %d\n", 3);
        other.Do([&log] { log.Printf("four %s\n", "4"); });
    }
    // Each file starts empty in this instance's life and keeps all of its thread's lines.
    EXPECT_EQ(OnDisk("one\nthree 3\n"), Contents(path));
    EXPECT_EQ(OnDisk("two\nfour 4\n"), Contents(ThreadLog(other.id())));
}

TEST_F(DebugLogTest, NameShorterThanItsExtensionGivesNoFile) {
    PlaceMarker();
    DebugLog log(dir_.Join("").c_str(), false);  // the folder with a trailing "\": no such file can be opened
    EXPECT_FALSE(log.HasFile());
    DebugLog tiny("a.l", false);
    EXPECT_FALSE(tiny.HasFile());
    tiny.Write("nothing\n");
    EXPECT_FALSE(FileExists("a.l"));
}

TEST_F(DebugLogTest, OverlongTextIsCutAtACharacterAndEndsItsLine) {
    PlaceMarker();
    const std::string path = dir_.Join("cut.log");
    const std::string fits(1022, 'f');       // with its "\n" exactly the buffer's 1023 bytes of text
    const std::string halfChar(1022, 'h');   // the cut falls inside the two-byte character that follows
    const std::string wholeChar(1021, 'w');  // the character would leave no room for the "\n"
    const std::string longAscii(3000, 'a');
    {
        DebugLog log(path.c_str(), false);
        log.Printf("%s\n", fits.c_str());
        log.Printf("%s中文\n", halfChar.c_str());
        log.Printf("%s中文\n", wholeChar.c_str());
        log.Printf("%s\n", longAscii.c_str());
    }
    const std::string expected = fits + "\n" + halfChar + "\n" + wholeChar + "\n" + std::string(1022, 'a') + "\n";
    EXPECT_EQ(OnDisk(expected), Contents(path));
}

TEST_F(DebugLogTest, SystemInstancesStayQuietEvenWithTheMarker) {
    PlaceMarker();
    for (DebugLog& log : gDebugLogs) {
        EXPECT_FALSE(log.HasFile());
        EXPECT_FALSE(log.HasConsole());
    }
    DebugLog built(nullptr, false);
    EXPECT_FALSE(built.HasFile());
    EXPECT_FALSE(built.HasConsole());
}
