#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Reads a stdio stream through a buffer of its own, for walks that read a few bytes, skip ahead and read a few more:
// the PE headers, the package's trailer and its record headers. A read inside the buffer is a copy and a skip inside
// it costs nothing. A read that runs off the end of the buffer keeps the bytes not yet taken and reads a full buffer
// on from where the file stands, without a seek. A jump anywhere else seeks and reads as few whole 4 KB blocks as
// hold the bytes asked for, since the next jump may pass over most of what a large read would bring. The stream is
// best left without a stdio buffer of its own, so that each of these is one read.
//
// A reader over bytes in memory walks them with the same calls, without copying them.
//
// The first read that comes short or seek that cannot be made sets a flag that stays set, so a group of reads is
// checked once. Nothing else may move the stream while a reader walks it.
class BufferedFileReader {
  public:
    static constexpr size_t kCapacity = 64 * 1024;  // the most bytes one read may ask for
    static constexpr size_t kJumpRead = 4 * 1024;   // the block a jump reads in

    explicit BufferedFileReader(std::FILE* file);
    // Reads size bytes at bytes, which must stay until the reader goes.
    BufferedFileReader(const unsigned char* bytes, size_t size);
    BufferedFileReader(const BufferedFileReader&) = delete;
    BufferedFileReader& operator=(const BufferedFileReader&) = delete;

    // Moves to offset, an absolute position in the file. Reads nothing yet; an offset that stdio cannot seek to
    // (negative, or beyond a long) fails the reader.
    void SeekTo(int64_t offset);

    // The next count bytes, valid until the next call, and moves past them; nullptr when they are not all in the
    // file, when count is above kCapacity, or once the reader has failed.
    const unsigned char* Take(size_t count);

    // Take, copied to out.
    void Read(void* out, size_t count);

    int64_t position() const { return position_; }
    bool failed() const { return failed_; }

  private:
    bool Holds(size_t count) const;
    bool Fill(size_t count);

    std::FILE* file_ = nullptr;  // null for a reader over memory
    std::unique_ptr<unsigned char[]> buffer_;
    const unsigned char* bytes_;  // buffer_, or the memory read
    int64_t bufferStart_ = -1;    // the file offset of buffer_[0]; -1 before the first read
    size_t buffered_ = 0;         // how many bytes from bufferStart_ the buffer holds
    int64_t position_ = 0;
    bool failed_ = false;
};
