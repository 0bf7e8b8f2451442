#include "tools/packtool/Branding.h"

#include <algorithm>

#include "tools/packtool/ImageBytes.h"

// The version texts: the VS_VERSIONINFO resource parsed into its nodes, changed and written again.

namespace {

size_t Align4(size_t value) {
    return (value + 3) & ~size_t(3);
}

// Every node: length (of the node, without the padding after it), value length (in UTF-16 units for a text value,
// type 1; in bytes for a binary one, type 0), type, the key as NUL-terminated UTF-16, padding to 4 bytes, the
// value, then the children, each on a 4-byte boundary. The root's value is VS_FIXEDFILEINFO.
constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoSize = 52;
constexpr size_t kFixedFileVersion = 8;
constexpr size_t kFixedProductVersion = 16;
constexpr int kVersionDepth = 4;  // root, StringFileInfo, table, string

struct VersionNode {
    std::u16string key;
    uint16_t type = 0;
    std::vector<unsigned char> value;
    std::vector<VersionNode> children;
};

bool ParseVersionNode(const std::vector<unsigned char>& bytes,
                      size_t offset,
                      size_t limit,
                      int depth,
                      VersionNode* node,
                      size_t* length,
                      std::string* why) {
    *why = "its version resource is damaged";
    if (depth > kVersionDepth || offset + 6 > limit)
        return false;
    *length = Get16(bytes, offset);
    if (*length < 6 || offset + *length > limit)
        return false;
    size_t end = offset + *length;
    uint16_t valueLength = Get16(bytes, offset + 2);
    node->type = Get16(bytes, offset + 4);
    size_t at = offset + 6;
    for (;;) {
        if (at + 2 > end)
            return false;
        uint16_t unit = Get16(bytes, at);
        at += 2;
        if (unit == 0)
            break;
        node->key.push_back(static_cast<char16_t>(unit));
    }
    at = Align4(at);
    size_t valueBytes = node->type == 1 ? 2u * valueLength : valueLength;
    if (valueBytes > 0) {
        if (at + valueBytes > end)
            return false;
        node->value.assign(bytes.begin() + at, bytes.begin() + at + valueBytes);
        at += valueBytes;
    }
    for (at = Align4(at); at < end; at = Align4(at)) {
        VersionNode child;
        size_t childLength;
        if (!ParseVersionNode(bytes, at, end, depth + 1, &child, &childLength, why))
            return false;
        node->children.push_back(std::move(child));
        at += childLength;
    }
    return true;
}

void WriteVersionNode(const VersionNode& node, std::vector<unsigned char>* out) {
    size_t start = out->size();
    out->resize(start + 6, 0);
    for (char16_t unit : node.key)
        AppendLe16(*out, static_cast<uint16_t>(unit));
    AppendLe16(*out, 0);
    out->resize(Align4(out->size()), 0);
    out->insert(out->end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        out->resize(Align4(out->size()), 0);
        WriteVersionNode(child, out);
    }
    size_t valueLength = node.type == 1 ? node.value.size() / 2 : node.value.size();
    Put16(*out, start, static_cast<uint16_t>(out->size() - start));
    Put16(*out, start + 2, static_cast<uint16_t>(valueLength));
    Put16(*out, start + 4, node.type);
}

std::u16string Ascii16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

const char* const kBrandVersionNames[6] = {"ProductName",     "ProductVersion", "FileVersion",
                                           "FileDescription", "CompanyName",    "LegalCopyright"};

bool IsBrandVersionName(const std::string& name) {
    for (const char* known : kBrandVersionNames) {
        if (name == known)
            return true;
    }
    return false;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16) {
    utf16->clear();
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        uint32_t code;
        size_t extra;
        uint32_t minimum;
        if (lead < 0x80) {
            code = lead, extra = 0, minimum = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F, extra = 1, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F, extra = 2, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07, extra = 3, minimum = 0x10000;
        } else {
            return false;
        }
        if (extra > utf8.size() - i - 1)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            utf16->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            utf16->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            utf16->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

bool ParseFixedVersion(const std::string& text, uint32_t* high, uint32_t* low) {
    uint32_t parts[4] = {};
    size_t part = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || ++part == 4)
                return false;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            parts[part] = parts[part] * 10 + static_cast<uint32_t>(c - '0');
            if (++digits > 5 || parts[part] > 0xFFFF)
                return false;
        } else {
            return false;
        }
    }
    if (part != 3 || digits == 0)
        return false;
    *high = parts[0] << 16 | parts[1];
    *low = parts[2] << 16 | parts[3];
    return true;
}

bool SetVersionStrings(std::vector<unsigned char>* resource,
                       const std::vector<std::pair<std::string, std::u16string>>& strings,
                       std::string* why) {
    VersionNode root;
    size_t length;
    if (!ParseVersionNode(*resource, 0, resource->size(), 1, &root, &length, why))
        return false;
    if (root.key != u"VS_VERSION_INFO" || root.value.size() < kFixedInfoSize ||
        Get32(root.value, 0) != kFixedSignature) {
        *why = "its version resource is damaged";
        return false;
    }
    size_t tables = 0;
    for (VersionNode& block : root.children) {
        if (block.key != u"StringFileInfo")
            continue;
        for (VersionNode& table : block.children) {
            ++tables;
            for (const auto& item : strings) {
                std::u16string key = Ascii16(item.first);
                std::vector<unsigned char> value;
                for (char16_t unit : item.second)
                    AppendLe16(value, static_cast<uint16_t>(unit));
                AppendLe16(value, 0);
                auto found = std::find_if(table.children.begin(), table.children.end(),
                                          [&](const VersionNode& node) { return node.key == key; });
                if (found == table.children.end()) {
                    table.children.emplace_back();
                    found = table.children.end() - 1;
                    found->key = key;
                }
                found->type = 1;
                found->value = value;
            }
        }
    }
    if (tables == 0 && !strings.empty()) {
        *why = "its version resource has no string table";
        return false;
    }
    for (const auto& item : strings) {
        std::string narrow;
        for (char16_t unit : item.second)
            narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        uint32_t high, low;
        if (!ParseFixedVersion(narrow, &high, &low))
            continue;
        size_t at = item.first == "FileVersion"      ? kFixedFileVersion
                    : item.first == "ProductVersion" ? kFixedProductVersion
                                                     : 0;
        if (at != 0) {
            Put32(root.value, at, high);
            Put32(root.value, at + 4, low);
        }
    }
    resource->clear();
    WriteVersionNode(root, resource);
    return true;
}
