#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "installer/InstallRecord.h"
#include "package/Extract.h"

namespace {

const std::string kDigestA = Md5Hex("a", 1);
const std::string kDigestB = Md5Hex("b", 1);

InstallRecord SampleRecord() {
    InstallRecord record;
    record.entries.push_back({"quorvan\\data\\a.png", 10, kDigestA, BeforeKind::kNothing, 0, "", "", false, 0, ""});
    record.entries.push_back({"psrpc.dll", 20, kDigestA, BeforeKind::kOriginal, 30, kDigestB, "", false, 0, ""});
    record.entries.push_back(
        {"SM3Config.exe", 40, kDigestB, BeforeKind::kKept, 50, kDigestA, KeptPathFor("SM3Config.exe"), false, 0, ""});
    RecordEntry twice;
    twice.path = "media\\data\\etc\\japanese\\\xC6\xC1.png";
    twice.md5 = kDigestB;
    twice.hasInterim = true;
    twice.interimSize = 7;
    twice.interimMd5 = kDigestA;
    record.entries.push_back(twice);
    return record;
}

// The bytes with their trailing checksum made right again, so that the reader gets past it to the fault.
std::string Resummed(std::string bytes) {
    bytes.resize(bytes.size() - 32);
    return bytes + Md5Hex(bytes.data(), bytes.size());
}

std::string Written(const std::function<void(InstallRecord&)>& change) {
    InstallRecord record = SampleRecord();
    change(record);
    return WriteInstallRecord(record);
}

}  // namespace

TEST(InstallRecord, RoundTripKeepsEveryField) {
    const std::string bytes = WriteInstallRecord(SampleRecord());
    InstallRecord read;
    ASSERT_EQ(ReadInstallRecord(bytes.data(), bytes.size(), &read), RecordFault::kNone);
    const InstallRecord expected = SampleRecord();
    ASSERT_EQ(read.entries.size(), expected.entries.size());
    for (size_t i = 0; i < read.entries.size(); ++i) {
        const RecordEntry& a = read.entries[i];
        const RecordEntry& b = expected.entries[i];
        EXPECT_EQ(a.path, b.path);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.md5, b.md5);
        EXPECT_EQ(a.before, b.before);
        EXPECT_EQ(a.beforeSize, b.beforeSize);
        EXPECT_EQ(a.beforeMd5, b.beforeMd5);
        EXPECT_EQ(a.kept, b.kept);
        EXPECT_EQ(a.hasInterim, b.hasInterim);
        EXPECT_EQ(a.interimSize, b.interimSize);
        EXPECT_EQ(a.interimMd5, b.interimMd5);
    }
}

TEST(InstallRecord, EmptyRecordIsSoundAndHasAKnownLayout) {
    const std::string bytes = WriteInstallRecord(InstallRecord());
    ASSERT_EQ(bytes.size(), 8u + 4 + 4 + 32);
    EXPECT_EQ(bytes.substr(0, 12), std::string("QVRECORD\x01\0\0\0", 12));
    InstallRecord read = SampleRecord();
    EXPECT_EQ(ReadInstallRecord(bytes.data(), bytes.size(), &read), RecordFault::kNone);
    EXPECT_TRUE(read.entries.empty());
}

TEST(InstallRecord, EachKindOfDamageIsRefusedAndLeavesTheRecordAlone) {
    const std::string sound = WriteInstallRecord(SampleRecord());
    struct Case {
        const char* what;
        std::string bytes;
        RecordFault fault;
    };
    std::string flipped = sound;
    flipped[20] ^= 1;
    std::string badKind = sound;
    // The first entry's kind byte: after magic, version, count, its path's length and path, its size and digest.
    badKind[16 + 2 + 18 + 4 + 32] = 3;
    std::string tooMany = sound;
    tooMany[14] = 1;  // 65536 + 4 entries
    const Case cases[] = {
        {"empty", std::string(), RecordFault::kShort},
        {"cut in the checksum", sound.substr(0, sound.size() - 1), RecordFault::kChecksum},
        {"cut in an entry", Resummed(sound.substr(0, 60) + std::string(32, '0')), RecordFault::kShort},
        {"a byte too many", Resummed(sound.substr(0, sound.size() - 32) + "x" + std::string(32, '0')),
         RecordFault::kShort},
        {"other magic", "QVRECORd" + sound.substr(8), RecordFault::kMagic},
        {"a flipped bit", flipped, RecordFault::kChecksum},
        {"version 2", Resummed(sound.substr(0, 8) + std::string("\x02\0\0\0", 4) + sound.substr(12)),
         RecordFault::kVersion},
        {"too many", Resummed(tooMany), RecordFault::kTooMany},
        {"unknown kind", Resummed(badKind), RecordFault::kBadKind},
        {"path leading out", Written([](InstallRecord& r) { r.entries[0].path = "quorvan\\..\\..\\x"; }),
         RecordFault::kBadPath},
        {"absolute path", Written([](InstallRecord& r) { r.entries[0].path = "C:\\Windows\\x.dll"; }),
         RecordFault::kBadPath},
        {"empty path", Written([](InstallRecord& r) { r.entries[0].path.clear(); }), RecordFault::kBadPath},
        {"kept copy outside its folder", Written([](InstallRecord& r) { r.entries[2].kept = "psrpc.dll"; }),
         RecordFault::kBadPath},
        {"kept folder itself", Written([](InstallRecord& r) { r.entries[2].kept = "quorvan\\kept"; }),
         RecordFault::kBadPath},
        {"upper-case digest", Written([](InstallRecord& r) { r.entries[1].md5[0] = 'A'; }), RecordFault::kBadDigest},
        {"short earlier digest",
         Written([](InstallRecord& r) { r.entries[1].beforeMd5 = r.entries[1].beforeMd5.substr(1) + "\x01"; }),
         RecordFault::kBadDigest},
        {"bad interim digest", Written([](InstallRecord& r) { r.entries[3].interimMd5 = std::string(32, 'X'); }),
         RecordFault::kBadDigest},
        {"one place twice", Written([](InstallRecord& r) { r.entries[0].path = "PSRPC.DLL"; }),
         RecordFault::kDuplicate},
        {"one place twice by separator", Written([](InstallRecord& r) { r.entries[3].path = "quorvan/data/A.png"; }),
         RecordFault::kDuplicate},
    };
    for (const Case& c : cases) {
        InstallRecord read = SampleRecord();
        read.entries.pop_back();
        EXPECT_EQ(ReadInstallRecord(c.bytes.data(), c.bytes.size(), &read), c.fault) << c.what;
        EXPECT_EQ(read.entries.size(), 3u) << c.what;
    }
}

TEST(InstallRecord, PlacesCompareAsTheFileSystemDoes) {
    EXPECT_TRUE(SameRecordPath("Quorvan\\Data/A.png", "quorvan/data\\a.png"));
    EXPECT_FALSE(SameRecordPath("quorvan\\a.png", "quorvan\\a.pn"));
    // The second byte of a two-byte character is no letter: 0xC6 0x41 and 0xC6 0x61 differ.
    EXPECT_FALSE(SameRecordPath("\xC6\x41", "\xC6\x61"));
    EXPECT_EQ(KeptPathFor("media\\x.png"), "quorvan\\kept\\media\\x.png");
}

TEST(InstallRecord, WhatStoodBeforeFollowsWhatTheFileHolds) {
    struct Case {
        bool present, holdsWritten, holdsOriginal, hasOriginal;
        BeforeKind expected;
    };
    const Case cases[] = {
        {false, false, false, true, BeforeKind::kNothing}, {true, false, true, true, BeforeKind::kOriginal},
        {true, false, false, true, BeforeKind::kKept},     // another version of a game file
        {true, false, false, false, BeforeKind::kKept},    // the player's file where the pack writes
        {true, true, false, true, BeforeKind::kOriginal},  // an earlier install's localised game file
        {true, true, false, false, BeforeKind::kNothing},  // an earlier install's pack file
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BeforeFrom(c.present, c.holdsWritten, c.holdsOriginal, c.hasOriginal), c.expected)
            << c.present << c.holdsWritten << c.holdsOriginal << c.hasOriginal;
    }
}

TEST(InstallRecord, UninstallTakesBackOnlyWhatStillHoldsTheInstallsBytes) {
    struct Case {
        BeforeKind before;
        HeldNow now;
        UndoStep expected;
    };
    const Case cases[] = {
        {BeforeKind::kNothing, HeldNow::kWritten, UndoStep::kRemove},
        {BeforeKind::kNothing, HeldNow::kMissing, UndoStep::kNone},
        {BeforeKind::kNothing, HeldNow::kOther, UndoStep::kChangedSince},
        {BeforeKind::kOriginal, HeldNow::kWritten, UndoStep::kPutBack},
        {BeforeKind::kOriginal, HeldNow::kEarlier, UndoStep::kNone},
        {BeforeKind::kOriginal, HeldNow::kOther, UndoStep::kChangedSince},  // patched after the install
        {BeforeKind::kOriginal, HeldNow::kMissing, UndoStep::kChangedSince},
        {BeforeKind::kKept, HeldNow::kWritten, UndoStep::kPutBack},
        {BeforeKind::kKept, HeldNow::kEarlier, UndoStep::kNone},
        {BeforeKind::kKept, HeldNow::kOther, UndoStep::kChangedSince},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UndoStepFor(c.before, c.now), c.expected) << int(c.before) << " " << int(c.now);
}

TEST(InstallRecord, PackFoldersComeDeepestFirstAndOnlyInsideThePack) {
    const std::vector<std::string> folders =
        PackFoldersOf({"quorvan\\install.rec", "quorvan\\kept\\media\\x\\a.png", "Quorvan\\KEPT\\psrpc.dll",
                       "media\\data\\b.png", "psrpc.dll", "quorvanx\\c"});
    const std::vector<std::string> expected = {"quorvan\\kept\\media\\x", "quorvan\\kept\\media", "quorvan\\kept",
                                               "quorvan"};
    EXPECT_EQ(folders, expected);
}
