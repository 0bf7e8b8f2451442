#include "installer/UnpackProgress.h"

void UnpackProgress::EntryDone(uint64_t bytes) {
    doneBytes_ = bytes > totalBytes_ - doneBytes_ ? totalBytes_ : doneBytes_ + bytes;
    if (doneEntries_ < totalEntries_)
        ++doneEntries_;
}

unsigned UnpackProgress::percent() const {
    if (doneEntries_ == totalEntries_)
        return 100;
    if (totalBytes_ == 0)
        return 0;
    // doneBytes_ * 100 would overflow beyond UINT64_MAX / 100; the total is then at least as large, so that
    // a hundredth of it is not zero.
    const uint64_t share =
        doneBytes_ <= UINT64_MAX / 100 ? doneBytes_ * 100 / totalBytes_ : doneBytes_ / (totalBytes_ / 100);
    return share < 99 ? unsigned(share) : 99;
}

bool UnpackProgress::Due(uint32_t nowMs) {
    const unsigned now = percent();
    if (shown_ && (now <= shownPercent_ || (now < 100 && nowMs - shownAtMs_ < kIntervalMs)))
        return false;
    shown_ = true;
    shownPercent_ = now;
    shownAtMs_ = nowMs;
    return true;
}
