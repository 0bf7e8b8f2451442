#include "package/BufferedFileReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

BufferedFileReader::BufferedFileReader(std::FILE* file) : file_(file), buffer_(new unsigned char[kCapacity]) {}

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
    const int64_t bufferEnd = bufferStart_ + int64_t(buffered_);
    size_t kept = 0;
    size_t want = 0;
    if (bufferStart_ >= 0 && position_ >= bufferStart_ && position_ <= bufferEnd) {
        // The file stands at bufferEnd: keep what is left and read on.
        kept = size_t(bufferEnd - position_);
        std::memmove(buffer_.get(), buffer_.get() + (position_ - bufferStart_), kept);
        want = kCapacity - kept;
    } else {
        if (std::fseek(file_, long(position_), SEEK_SET) != 0)
            return false;
        want = std::max(count, kJumpRead);
    }
    bufferStart_ = position_;
    buffered_ = kept + std::fread(buffer_.get() + kept, 1, want, file_);
    return buffered_ >= count;
}

const unsigned char* BufferedFileReader::Take(size_t count) {
    if (failed_)
        return nullptr;
    if (count > kCapacity || (!Holds(count) && !Fill(count))) {
        failed_ = true;
        return nullptr;
    }
    const unsigned char* bytes = buffer_.get() + (position_ - bufferStart_);
    position_ += int64_t(count);
    return bytes;
}

void BufferedFileReader::Read(void* out, size_t count) {
    const unsigned char* bytes = Take(count);
    if (bytes && count > 0)
        std::memcpy(out, bytes, count);
}
