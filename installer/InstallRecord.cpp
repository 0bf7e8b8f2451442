#include "installer/InstallRecord.h"

#include <algorithm>
#include <set>

#include "installer/FileHelpers.h"
#include "package/PackNames.h"
#include "package/Extract.h"
#include "support/Gbk.h"
#include "support/LittleEndian.h"

const char kInstallRecordName[] = "quorvan\\install.rec";
const char kKeptFolderName[] = "quorvan\\kept";

// The textures' places follow the settings dialog's table (settings/SettingsDialog_win.cpp), the index's the library's
// (payload/savepatch/SavePatch_win.cpp), the logs' the flows' (kInstallLogName, kUninstallLogName).
const char* const kPackOwnFiles[5] = {
    "quorvan\\resource.lst",       "quorvan\\bg\\high\\user_font01b.tga", "quorvan\\bg\\low\\user_font01b.tga",
    "quorvan\\install-errors.txt", "quorvan\\uninstall-errors.txt",
};

namespace {

const char kMagic[8] = {'Q', 'V', 'R', 'E', 'C', 'O', 'R', 'D'};
constexpr uint8_t kInterimFlag = 0x80;
constexpr size_t kDigestLength = 32;

bool IsDigest(const std::string& text) {
    if (text.size() != kDigestLength)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool IsRecordPath(const std::string& path) {
    return !path.empty() && path.size() <= kMaxRecordPath && IsSafeEntryName(path);
}

bool IsKeptPath(const std::string& path) {
    const std::string folder = std::string(kKeptFolderName) + "\\";
    return IsRecordPath(path) && path.size() > folder.size() && SameRecordPath(path.substr(0, folder.size()), folder);
}

void PutU32(std::string& out, uint32_t value) {
    unsigned char bytes[4];
    PutLe32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void PutText(std::string& out, const std::string& text) {
    unsigned char bytes[2];
    PutLe16(bytes, static_cast<uint16_t>(text.size()));
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    out += text;
}

// Reads fields one after another; after the first read past the end every later read fails too, so that a group
// of reads is checked once.
class RecordReader {
  public:
    RecordReader(const unsigned char* bytes, size_t size) : bytes_(bytes), size_(size) {}

    bool ok() const { return ok_; }
    size_t left() const { return ok_ ? size_ - at_ : 0; }

    const unsigned char* Take(size_t count) {
        if (!ok_ || count > size_ - at_) {
            ok_ = false;
            return nullptr;
        }
        const unsigned char* at = bytes_ + at_;
        at_ += count;
        return at;
    }
    uint32_t U32() {
        const unsigned char* at = Take(4);
        return at ? ReadLe32(at) : 0;
    }
    uint8_t U8() {
        const unsigned char* at = Take(1);
        return at ? *at : 0;
    }
    std::string Text(size_t length) {
        const unsigned char* at = Take(length);
        return at ? std::string(reinterpret_cast<const char*>(at), length) : std::string();
    }
    std::string Text16() {
        const unsigned char* at = Take(2);
        return at ? Text(ReadLe16(at)) : std::string();
    }

  private:
    const unsigned char* bytes_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

RecordFault ReadEntry(RecordReader& in, RecordEntry& entry) {
    entry.path = in.Text16();
    entry.size = in.U32();
    entry.md5 = in.Text(kDigestLength);
    const uint8_t kind = in.U8();
    const uint8_t before = kind & uint8_t(~kInterimFlag);
    entry.hasInterim = (kind & kInterimFlag) != 0;
    if (entry.hasInterim) {
        entry.interimSize = in.U32();
        entry.interimMd5 = in.Text(kDigestLength);
    }
    if (!in.ok())
        return RecordFault::kShort;
    if (before > uint8_t(BeforeKind::kKept))
        return RecordFault::kBadKind;
    entry.before = BeforeKind(before);
    if (entry.before != BeforeKind::kNothing) {
        entry.beforeSize = in.U32();
        entry.beforeMd5 = in.Text(kDigestLength);
    }
    if (entry.before == BeforeKind::kKept)
        entry.kept = in.Text16();
    if (!in.ok())
        return RecordFault::kShort;
    if (!IsRecordPath(entry.path) || (entry.before == BeforeKind::kKept && !IsKeptPath(entry.kept)))
        return RecordFault::kBadPath;
    if (!IsDigest(entry.md5) || (entry.hasInterim && !IsDigest(entry.interimMd5)) ||
        (entry.before != BeforeKind::kNothing && !IsDigest(entry.beforeMd5)))
        return RecordFault::kBadDigest;
    return RecordFault::kNone;
}

}  // namespace

const char* RecordFaultText(RecordFault fault) {
    switch (fault) {
        case RecordFault::kNone:
            return "sound";
        case RecordFault::kShort:
            return "cut short or overlong";
        case RecordFault::kMagic:
            return "not an install record";
        case RecordFault::kVersion:
            return "unknown version";
        case RecordFault::kChecksum:
            return "checksum differs";
        case RecordFault::kBadPath:
            return "bad path";
        case RecordFault::kBadDigest:
            return "bad digest";
        case RecordFault::kBadKind:
            return "unknown kind";
        case RecordFault::kDuplicate:
            return "one place twice";
        case RecordFault::kTooMany:
            return "too many entries";
    }
    return "unknown";
}

std::string KeptPathFor(const std::string& path) {
    return std::string(kKeptFolderName) + "\\" + path;
}

bool SameRecordPath(const std::string& a, const std::string& b) {
    std::string left = LowerAsciiDbcsCopy(a);
    std::string right = LowerAsciiDbcsCopy(b);
    UseBackslashes(left);
    UseBackslashes(right);
    return left == right;
}

std::string WriteInstallRecord(const InstallRecord& record) {
    std::string out(kMagic, sizeof kMagic);
    PutU32(out, kInstallRecordVersion);
    PutU32(out, uint32_t(record.entries.size()));
    for (const RecordEntry& entry : record.entries) {
        PutText(out, entry.path);
        PutU32(out, entry.size);
        out += entry.md5;
        out += char(uint8_t(entry.before) | (entry.hasInterim ? kInterimFlag : 0));
        if (entry.hasInterim) {
            PutU32(out, entry.interimSize);
            out += entry.interimMd5;
        }
        if (entry.before != BeforeKind::kNothing) {
            PutU32(out, entry.beforeSize);
            out += entry.beforeMd5;
        }
        if (entry.before == BeforeKind::kKept)
            PutText(out, entry.kept);
    }
    out += Md5Hex(out.data(), out.size());
    return out;
}

// The record, all numbers little-endian, texts GBK without a terminator:
//   +0   8  "QVRECORD"
//   +8   4  version, 1
//   +12  4  N, the number of entries (at most kMaxRecordEntries)
//   +16     N entries, each:
//             2  L, the length of the path; L bytes: the path relative to the game folder, "\" separators
//             4  the size the install gives the file
//            32  its MD5, lower-case hex
//             1  what stood there before (BeforeKind): 0 nothing, 1 the package's original, 2 other bytes;
//                with 0x80 added when the install writes other bytes there first (hasInterim), followed by
//                4  their size
//               32  their MD5, lower-case hex
//           for 1 and 2:
//             4  the earlier bytes' size
//            32  their MD5, lower-case hex
//           for 2:
//             2  K, the length of the kept copy's path; K bytes: the path, below "quorvan\kept\"
//   then   32  the MD5 (lower-case hex) of every byte before it, which ends the file
// A path must name a place inside the game folder (IsSafeEntryName) and no place twice (ASCII case and the
// separator aside). Anything else, or a byte more or less, refuses the whole record.
RecordFault ReadInstallRecord(const void* bytes, size_t size, InstallRecord* record) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    if (size < sizeof kMagic + 8 + kDigestLength)
        return RecordFault::kShort;
    if (std::string(reinterpret_cast<const char*>(data), sizeof kMagic) != std::string(kMagic, sizeof kMagic))
        return RecordFault::kMagic;
    const size_t body = size - kDigestLength;
    if (Md5Hex(data, body) != std::string(reinterpret_cast<const char*>(data) + body, kDigestLength))
        return RecordFault::kChecksum;
    RecordReader in(data + sizeof kMagic, body - sizeof kMagic);
    if (in.U32() != kInstallRecordVersion)
        return RecordFault::kVersion;
    const uint32_t count = in.U32();
    if (count > kMaxRecordEntries)
        return RecordFault::kTooMany;
    InstallRecord read;
    std::set<std::string> places;
    for (uint32_t i = 0; i < count; ++i) {
        RecordEntry entry;
        const RecordFault fault = ReadEntry(in, entry);
        if (fault != RecordFault::kNone)
            return fault;
        std::string place = LowerAsciiDbcsCopy(entry.path);
        UseBackslashes(place);
        if (!places.insert(place).second)
            return RecordFault::kDuplicate;
        read.entries.push_back(std::move(entry));
    }
    if (in.left() != 0)
        return RecordFault::kShort;
    *record = std::move(read);
    return RecordFault::kNone;
}

BeforeKind BeforeFrom(bool present, bool holdsWritten, bool holdsOriginal, bool hasOriginal) {
    if (!present)
        return BeforeKind::kNothing;
    if (holdsWritten)
        return hasOriginal ? BeforeKind::kOriginal : BeforeKind::kNothing;
    return holdsOriginal ? BeforeKind::kOriginal : BeforeKind::kKept;
}

UndoStep UndoStepFor(BeforeKind before, HeldNow now) {
    if (before == BeforeKind::kNothing) {
        switch (now) {
            case HeldNow::kWritten:
                return UndoStep::kRemove;
            case HeldNow::kMissing:
            case HeldNow::kEarlier:
                return UndoStep::kNone;
            case HeldNow::kOther:
                return UndoStep::kChangedSince;
        }
    }
    switch (now) {
        case HeldNow::kWritten:
            return UndoStep::kPutBack;
        case HeldNow::kEarlier:
            return UndoStep::kNone;
        case HeldNow::kMissing:
        case HeldNow::kOther:
            return UndoStep::kChangedSince;
    }
    return UndoStep::kChangedSince;
}

std::vector<std::string> PackFoldersOf(const std::vector<std::string>& paths) {
    std::set<std::string> seen;
    std::vector<std::string> folders;
    for (const std::string& path : paths) {
        std::string folder = path;
        for (;;) {
            const size_t cut = LastPathSeparator(folder.data(), folder.size());
            if (cut == kNoSeparator)
                break;
            folder.resize(cut);
            if (seen.insert(LowerAsciiDbcsCopy(folder)).second)
                folders.push_back(folder);
        }
    }
    auto depth = [](const std::string& path) {
        size_t count = 0;
        ForEachPathSeparator(path.data(), path.size(), [&count](size_t) { ++count; });
        return count;
    };
    std::stable_sort(folders.begin(), folders.end(),
                     [&depth](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
    std::vector<std::string> inPack;
    for (const std::string& folder : folders) {
        if (IsPackEntryName(LowerAsciiDbcsCopy(folder)) || SameRecordPath(folder, kPackFolder))
            inPack.push_back(folder);
    }
    return inPack;
}
