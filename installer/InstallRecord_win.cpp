#include "installer/InstallRecord_win.h"

#include "installer/FileHelpers.h"
#include "package/Extract.h"
#include "support/Gbk.h"

namespace {

// A relative path cut at its last separator: the folder part ("" for a bare name) and the file's name.
void Split(const std::string& relative, std::string* folder, std::string* name) {
    const size_t cut = LastPathSeparator(relative.data(), relative.size());
    *folder = cut == kNoSeparator ? std::string() : relative.substr(0, cut);
    *name = cut == kNoSeparator ? relative : relative.substr(cut + 1);
}

}  // namespace

bool ReaderBelow::Read(const std::string& relative, std::string* bytes, HeldFailure* failure) {
    std::string folder, name;
    Split(relative, &folder, &name);
    if (folder.empty())
        return root_.ReadFileBytes(name, bytes, failure);
    if (folder != folderName_) {
        folderName_ = folder;
        held_ = HeldFolder();
        HeldFailure opened;
        folderMissing_ = !root_.OpenFolders(folder, false, &held_, &opened);
        if (folderMissing_) {
            if (failure)
                *failure = opened;
            return false;
        }
    } else if (folderMissing_) {
        if (failure)
            *failure = HeldFailure{HeldFault::kMissing, relative};
        return false;
    }
    return held_.ReadFileBytes(name, bytes, failure);
}

FileNow ReaderBelow::StateOf(const std::string& relative) {
    FileNow now;
    std::string bytes;
    HeldFailure failure;
    if (!Read(relative, &bytes, &failure)) {
        now.refused = failure.fault != HeldFault::kMissing;
        return now;
    }
    now.present = true;
    now.size = uint32_t(bytes.size());
    now.md5 = Md5Hex(bytes.data(), bytes.size());
    return now;
}

RecordRead ReadRecordBelow(const HeldFolder& game, InstallRecord* record, RecordFault* fault) {
    ReaderBelow reader(game);
    std::string bytes;
    HeldFailure failure;
    *fault = RecordFault::kNone;
    if (!reader.Read(kInstallRecordName, &bytes, &failure)) {
        // A pack folder that is missing, a file or a link holds no record; the uninstall without one deals with it.
        // A record file that is there but cannot be read as ours (a link, a folder) is a damaged one.
        const std::string file = kInstallRecordName + std::string(kInstallRecordName).rfind('\\') + 1;
        if (failure.fault == HeldFault::kMissing || !EndsWith(failure.path.c_str(), ("\\" + file).c_str()))
            return RecordRead::kMissing;
        *fault = RecordFault::kShort;
        return RecordRead::kDamaged;
    }
    *fault = ReadInstallRecord(bytes.data(), bytes.size(), record);
    return *fault == RecordFault::kNone ? RecordRead::kRead : RecordRead::kDamaged;
}

bool PutRecordBelow(const HeldFolder& game, const InstallRecord& record, HeldFailure* failure) {
    const std::string bytes = WriteInstallRecord(record);
    if (!PutFileBelow(game, kInstallRecordName, bytes.data(), bytes.size(), PutMode::kReplace, failure))
        return false;
    ReaderBelow reader(game);
    std::string back;
    InstallRecord read;
    if (!reader.Read(kInstallRecordName, &back, failure))
        return false;
    if (back != bytes || ReadInstallRecord(back.data(), back.size(), &read) != RecordFault::kNone) {
        if (failure)
            *failure = HeldFailure{HeldFault::kOther, game.path() + "\\" + kInstallRecordName};
        return false;
    }
    return true;
}

bool RemoveEmptyFoldersBelow(const HeldFolder& game, const std::vector<std::string>& folders) {
    bool allGone = true;
    for (const std::string& folder : folders) {
        std::string parentName, name;
        Split(folder, &parentName, &name);
        HeldFolder parent;
        HeldFailure failure;
        const bool gone = parentName.empty() ? game.RemoveEmptyFolder(name, &failure)
                                             : game.OpenFolders(parentName, false, &parent, &failure) &&
                                                   parent.RemoveEmptyFolder(name, &failure);
        if (!gone && failure.fault != HeldFault::kMissing)
            allGone = false;
    }
    return allGone;
}
