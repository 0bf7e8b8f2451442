#pragma once

#include <atomic>

// A job that runs on a background thread. Derived classes put the job into Run. The object holds the thread's
// handle while the thread exists and none while idle; the thread closes its own handle when Run returns. The
// object must outlive its thread.
class WorkerThread {
  public:
    WorkerThread() = default;
    virtual ~WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    virtual void Run() = 0;

    // Starts Run on a new thread. Refused (false) while a thread started earlier still holds its handle.
    bool Start();

    // True from a successful Start until the thread has closed its handle after Run.
    bool IsBusy() const { return thread_.load() != nullptr; }

  private:
    static unsigned __stdcall ThreadMain(void* self);

    std::atomic<void*> thread_{nullptr};  // the thread's HANDLE
};
