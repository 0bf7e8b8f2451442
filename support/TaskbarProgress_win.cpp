#include "support/TaskbarProgress_win.h"

#include <windows.h>
#include <shobjidl.h>

namespace {

constexpr ULONGLONG kWhole = 100;

}  // namespace

TaskbarProgress::TaskbarProgress(HWND window) : window_(window) {
    if (!com_.usable())
        return;
    // ITaskbarList3 itself is asked for: before Windows 7 the object exists without it, and nothing is shown.
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(list_.Out()))) ||
        !list_.get() || FAILED(list_->HrInit()))
        list_.Reset();
}

TaskbarProgress::~TaskbarProgress() {
    if (list_.get() && shown_)
        list_->SetProgressState(window_, TBPF_NOPROGRESS);
}

void TaskbarProgress::Show(unsigned percent) {
    if (!list_.get())
        return;
    if (!shown_)
        list_->SetProgressState(window_, TBPF_NORMAL);
    shown_ = true;
    list_->SetProgressValue(window_, percent < kWhole ? percent : kWhole, kWhole);
}
