#include "package/BufferedFileReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

BufferedFileReader::BufferedFileReader(std::FILE* file)
    : file_(file), buffer_(new unsigned char[kCapacity]), bytes_(buffer_.get()) {}

// The whole content stands in the buffer from the start, so that nothing is ever filled.
BufferedFileReader::BufferedFileReader(const unsigned char* bytes, size_t size)
    : bytes_(bytes), bufferStart_(0), buffered_(bytes ? size : 0) {}

void BufferedFileReader::SeekTo(int64_t offset) {
    if (failed_)
        return;
    if (offset < 0 || offset > std::numeric_limits<long>::max())
        failed_ = true;
    else
        position_ = offset;
}

bool BufferedFileReader::Holds(size_t count) const {
    return bufferStart_ >= 0 && position_ >= bufferStart_ &&
           position_ - bufferStart_ <= int64_t(buffered_) - int64_t(count);
}

bool BufferedFileReader::Fill(size_t count) {
    if (!file_)
        return false;  // memory: what the buffer does not hold is not there
    const int64_t bufferEnd = bufferStart_ + int64_t(buffered_);
    size_t kept = 0;
    size_t want = 0;
    if (bufferStart_ >= 0 && position_ >= bufferStart_ && position_ <= bufferEnd) {
        // The file stands at bufferEnd: keep what is left and read on.
        kept = size_t(bufferEnd - position_);
        std::memmove(buffer_.get(), buffer_.get() + (position_ - bufferStart_), kept);
        want = kCapacity - kept;
        bufferStart_ = position_;
    } else {
        // Whole blocks from the one that holds the position, as the file system keeps them; a read too large for
        // that starts at the position itself.
        int64_t start = position_ - position_ % int64_t(kJumpRead);
        if (size_t(position_ - start) + count > kCapacity)
            start = position_;
        const size_t needed = size_t(position_ - start) + count;
        want = std::min(kCapacity, (needed + kJumpRead - 1) / kJumpRead * kJumpRead);
        if (std::fseek(file_, long(start), SEEK_SET) != 0)
            return false;
        bufferStart_ = start;
    }
    buffered_ = kept + std::fread(buffer_.get() + kept, 1, want, file_);
    return int64_t(buffered_) >= position_ - bufferStart_ + int64_t(count);
}

const unsigned char* BufferedFileReader::Take(size_t count) {
    if (failed_)
        return nullptr;
    if (count > kCapacity || (!Holds(count) && !Fill(count))) {
        failed_ = true;
        return nullptr;
    }
    const unsigned char* bytes = bytes_ + (position_ - bufferStart_);
    position_ += int64_t(count);
    return bytes;
}

void BufferedFileReader::Read(void* out, size_t count) {
    const unsigned char* bytes = Take(count);
    if (bytes && count > 0)
        std::memcpy(out, bytes, count);
}
