#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "support/WorkerThread.h"

namespace {

// Runs until released; counts its runs and remembers the thread it ran on.
class GatedWorker : public WorkerThread {
  public:
    GatedWorker()
        : entered_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~GatedWorker() override {
        CloseHandle(entered_);
        CloseHandle(release_);
    }

    void Run() override {
        runThread = GetCurrentThreadId();
        ++runs;
        SetEvent(entered_);
        WaitForSingleObject(release_, 10000);
    }

    bool WaitEntered() { return WaitForSingleObject(entered_, 5000) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_); }
    bool WaitIdle() {
        for (int i = 0; i < 500 && IsBusy(); ++i)
            Sleep(10);
        return !IsBusy();
    }

    std::atomic<int> runs{0};
    std::atomic<DWORD> runThread{0};

  private:
    HANDLE entered_;
    HANDLE release_;
};

}  // namespace

TEST(WorkerThread, SecondStartIsRefusedWhileRunning) {
    GatedWorker worker;
    EXPECT_FALSE(worker.IsBusy());
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.WaitEntered());
    EXPECT_NE(GetCurrentThreadId(), worker.runThread.load());
    EXPECT_TRUE(worker.IsBusy());
    EXPECT_FALSE(worker.Start());

    worker.Release();
    ASSERT_TRUE(worker.WaitIdle());
    EXPECT_EQ(1, worker.runs.load());
}

TEST(WorkerThread, StartsAgainOnceTheRunHasEnded) {
    GatedWorker worker;
    worker.Release();  // runs end at once
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(worker.Start()) << round;
        ASSERT_TRUE(worker.WaitIdle()) << round;
        EXPECT_EQ(round, worker.runs.load());
    }
}
