#include <windows.h>

#include <process.h>

#include "support/WorkerThread.h"

bool WorkerThread::Start() {
    if (thread_.load())
        return false;
    // The thread starts suspended so that its handle is stored before Run can end and close it.
    uintptr_t handle = _beginthreadex(nullptr, 0, &WorkerThread::ThreadMain, this, CREATE_SUSPENDED, nullptr);
    if (!handle)
        return false;
    thread_.store(reinterpret_cast<void*>(handle));
    ResumeThread(reinterpret_cast<HANDLE>(handle));
    return true;
}

unsigned __stdcall WorkerThread::ThreadMain(void* self) {
    WorkerThread* worker = static_cast<WorkerThread*>(self);
    worker->Run();
    CloseHandle(static_cast<HANDLE>(worker->thread_.load()));
    worker->thread_.store(nullptr);
    return 0;
}
