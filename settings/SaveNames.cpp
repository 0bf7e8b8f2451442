#include "settings/SaveNames.h"

#include <cstring>

#include "support/Captions.h"
#include "support/MessageSeam.h"

const char kCustomNameSlotCodes[kSaveNameBytesSize + 1] =
    "\x87\x40\x87\x42\x87\x44\x87\x46\x87\x49\x87\x4B\x87\x51\x87\x53";

namespace {

const char kName1TooLongText[] = "自创武将名1必须小于等于4个汉字!";
const char kName2TooLongText[] = "自创武将名2必须小于等于4个汉字!";
const char kName1NotFullWidthText[] = "自创武将名1必须是全角汉字!";
const char kName2NotFullWidthText[] = "自创武将名2必须是全角汉字!";

// Copies name into the four positions that begin at byte first; false at the first position that does not hold a
// two-byte character.
bool CopyName(const std::string& name, char* first) {
    for (size_t at = 0; at < name.size(); at += 2) {
        const unsigned char lead = static_cast<unsigned char>(name[at]);
        if (lead < 0x80 || at + 1 >= name.size())
            return false;
        first[at] = name[at];
        first[at + 1] = name[at + 1];
    }
    return true;
}

}  // namespace

NameCheck CheckCustomNames(const std::string& name1, const std::string& name2, CustomNameText* text) {
    // The edits are read as C strings: whatever follows an embedded zero byte was never part of the name.
    const std::string first(name1.c_str());
    const std::string second(name2.c_str());
    if (first.size() > kNameMaxBytes)
        return NameCheck::kName1TooLong;
    if (second.size() > kNameMaxBytes)
        return NameCheck::kName2TooLong;
    CustomNameText built;
    for (size_t i = 0; i < kNamePositions; ++i) {
        built.bytes[2 * i] = static_cast<char>(kFillerLead);
        built.bytes[2 * i + 1] = static_cast<char>(kFillerTrail);
    }
    built.bytes[kCustomNameTextSize - 1] = 0;
    if (!CopyName(first, built.bytes))
        return NameCheck::kName1NotFullWidth;
    if (!CopyName(second, built.bytes + kNameMaxBytes))
        return NameCheck::kName2NotFullWidth;
    *text = built;
    return NameCheck::kOk;
}

const char* NameCheckMessage(NameCheck check) {
    switch (check) {
        case NameCheck::kOk:
            return nullptr;
        case NameCheck::kName1TooLong:
            return kName1TooLongText;
        case NameCheck::kName2TooLong:
            return kName2TooLongText;
        case NameCheck::kName1NotFullWidth:
            return kName1NotFullWidthText;
        case NameCheck::kName2NotFullWidth:
            return kName2NotFullWidthText;
    }
    return nullptr;
}

bool BuildCustomNameText(void* owner, const std::string& name1, const std::string& name2, CustomNameText* text) {
    const NameCheck check = CheckCustomNames(name1, name2, text);
    if (check == NameCheck::kOk)
        return true;
    ShowMessage(owner, NameCheckMessage(check), kErrorCaption, kMbOk | kMbIconError);
    return false;
}

SaveNameBytes ToSaveNameBytes(const CustomNameText& text) {
    SaveNameBytes out;
    for (size_t i = 0; i < kNamePositions; ++i) {
        const bool filler = static_cast<unsigned char>(text.bytes[2 * i]) == kFillerLead &&
                            static_cast<unsigned char>(text.bytes[2 * i + 1]) == kFillerTrail;
        out.bytes[2 * i] = filler ? 0 : static_cast<uint8_t>(kCustomNameSlotCodes[2 * i]);
        out.bytes[2 * i + 1] = filler ? 0 : static_cast<uint8_t>(kCustomNameSlotCodes[2 * i + 1]);
    }
    return out;
}

bool WriteNameFields(SaveStream& stream, const SaveNameBytes& bytes) {
    const size_t half = kSaveNameBytesSize / 2;
    bool written = stream.Seek(kName1Offset) && stream.Write(bytes.bytes, half) && stream.Seek(kName2Offset) &&
                   stream.Write(bytes.bytes + half, half) && stream.Flush();
    const bool closed = stream.Close();
    return written && closed;
}
