#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The two custom officer names: checking what the user typed, the text block that the helper library renders, and
// the bytes that go into the game's save file. Portable; the save file itself is handled in SaveFile_win.cpp.
//
// The text block is eight two-byte GBK positions and a zero byte: positions 0..3 hold name 1, 4..7 name 2. Every
// position starts as the ideographic space A1 A1 (the filler); a name overwrites its positions from the first.
//
// The save never receives the typed characters. Each used position is written as its own fixed code, an unused
// one (the filler) as 00 00, into two 8-byte fields 64 bytes apart:
//
//   offset 1724 (0x6BC)  name 1: codes 87 40, 87 42, 87 44, 87 46
//   offset 1788 (0x6FC)  name 2: codes 87 49, 87 4B, 87 51, 87 53
//
// The library gets the same text block, so position k of the rendered text and code k belong together.

inline constexpr size_t kNamePositions = 8;
inline constexpr size_t kCustomNameTextSize = 2 * kNamePositions + 1;
inline constexpr size_t kSaveNameBytesSize = 2 * kNamePositions;
inline constexpr size_t kNameMaxBytes = 8;  // four two-byte characters
inline constexpr long kName1Offset = 1724;
inline constexpr long kName2Offset = 1788;
inline constexpr long kSaveMinSize = kName2Offset + 8;  // the save must already hold both fields

inline constexpr unsigned char kFillerLead = 0xA1;  // the ideographic space, A1 A1
inline constexpr unsigned char kFillerTrail = 0xA1;

// The eight codes, first byte first; read as GBK they are "嘆嘊嘍嘑嘔嘖嘠嘢".
extern const char kCustomNameSlotCodes[kSaveNameBytesSize + 1];

struct CustomNameText {
    char bytes[kCustomNameTextSize];
};

struct SaveNameBytes {
    uint8_t bytes[kSaveNameBytesSize];
};

// The result of checking the two names, in the order the checks run: both lengths first, then the characters of
// name 1, then those of name 2.
enum class NameCheck {
    kOk,
    kName1TooLong,
    kName2TooLong,
    kName1NotFullWidth,
    kName2NotFullWidth,
};

// Checks the names and builds the text block. A position is taken two bytes at a time; a first byte in 01..7F is a
// single-byte character and refused. So is a name that ends in the middle of a pair (odd length, or a last byte
// that is a lone lead byte), whose terminator would otherwise land in the text block and cut it short.
NameCheck CheckCustomNames(const std::string& name1, const std::string& name2, CustomNameText* text);

// The message that a failed check shows (caption "错误", error icon); null for kOk.
const char* NameCheckMessage(NameCheck check);

// CheckCustomNames with the failure shown to the user (owner: the dialog, or null). True when text is built.
bool BuildCustomNameText(void* owner, const std::string& name1, const std::string& name2, CustomNameText* text);

// The two name fields in file order: bytes 0..7 go to kName1Offset, 8..15 to kName2Offset.
SaveNameBytes ToSaveNameBytes(const CustomNameText& text);

// An open save file as the writing steps see it. Every step reports whether it worked.
class SaveStream {
  public:
    virtual ~SaveStream() = default;
    virtual bool Seek(long offset) = 0;
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

// Seeks to and writes both fields, flushes and closes. Stops at the first step that fails, but the stream is
// closed in every case. True only when every step worked.
bool WriteNameFields(SaveStream& stream, const SaveNameBytes& bytes);
