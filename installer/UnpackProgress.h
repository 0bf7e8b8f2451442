#pragma once

#include <cstddef>
#include <cstdint>

// How far the unpack of the pack folder has come, as the status label and the taskbar button show it: the
// unpacked bytes of the entries finished so far against those of every entry the unpack writes, in whole percent.
// The share never goes back and reads 100 only once the last entry is finished (neither rounding nor empty
// entries at the end show it early); an unpack with no entries is done from the start.
//
// Due() decides whether the share is shown now: the first one always, then only a higher one, at most once every
// kIntervalMs, except 100, which is shown at once. The clock is passed in (milliseconds; it may wrap around), so
// that nothing here asks the system.
class UnpackProgress {
  public:
    static constexpr uint32_t kIntervalMs = 100;

    UnpackProgress(uint64_t totalBytes, size_t totalEntries) : totalBytes_(totalBytes), totalEntries_(totalEntries) {}

    // One entry is finished, written or not: its unpacked size counts as done.
    void EntryDone(uint64_t bytes);

    // 0 to 100.
    unsigned percent() const;

    // True when percent() is to be shown at nowMs; it is then remembered as shown.
    bool Due(uint32_t nowMs);

  private:
    uint64_t totalBytes_;
    uint64_t doneBytes_ = 0;
    size_t totalEntries_;
    size_t doneEntries_ = 0;
    bool shown_ = false;
    unsigned shownPercent_ = 0;
    uint32_t shownAtMs_ = 0;
};
