#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "installer/InstallRecord.h"
#include "support/HeldFolder_win.h"

// The install record (installer/InstallRecord.h) and the files it names, reached below the held game folder as the
// flows write there (installer/FileWrite_win.h): every folder on the way is opened relative to the one above and
// checked, and nothing is read through a link.

// What a file below the game folder holds now.
struct FileNow {
    bool present = false;  // a file of that name that passed the checks and was read to its end
    bool refused = false;  // something stands there that was not read: a link, a folder, a file that is held
    uint32_t size = 0;
    std::string md5;  // lower-case hex; empty when not present
};

// Reads files one after another below one held folder, keeping the folder of the last one held for the next.
class ReaderBelow {
  public:
    explicit ReaderBelow(const HeldFolder& root) : root_(root) {}

    // The bytes of the file at relative; false with *failure filled when it, or a folder on the way, is missing or
    // refused.
    bool Read(const std::string& relative, std::string* bytes, HeldFailure* failure = nullptr);
    // Its size and MD5.
    FileNow StateOf(const std::string& relative);

  private:
    const HeldFolder& root_;
    std::string folderName_;
    HeldFolder held_;
    bool folderMissing_ = false;
};

// Whether the file as it is now holds size bytes with the digest md5.
inline bool Holds(const FileNow& now, uint32_t size, const std::string& md5) {
    return now.present && now.size == size && now.md5 == md5;
}

// The record of the installation in the game folder. kMissing when there is none; for a record that cannot be read
// or fails a check, the fault (*fault says which).
enum class RecordRead { kRead, kMissing, kDamaged };
RecordRead ReadRecordBelow(const HeldFolder& game, InstallRecord* record, RecordFault* fault);

// Puts the record in place as a new file (atomically, as HeldFolder::PutFile does) and reads it back: true only when
// the file holds exactly the bytes written and they read as the same record.
bool PutRecordBelow(const HeldFolder& game, const InstallRecord& record, HeldFailure* failure = nullptr);

// Removes each of folders (relative to the game folder, deepest first, as PackFoldersOf gives them) that is empty;
// one with anything in it stays, and so does one that is refused. True when none of them is there any more.
bool RemoveEmptyFoldersBelow(const HeldFolder& game, const std::vector<std::string>& folders);
