#include "tools/packtool/ProgramFacts.h"

#include <algorithm>
#include <vector>

#include "package/GameNames.h"
#include "package/LayoutFile.h"

namespace {

// The root of kInstallKeyPath, spelled as "reg" and the scripts spell it.
constexpr char kInstallKeyRoot[] = "HKCU\\";

// A text for one tab-separated line: each line feed spelled as the file spells it; false when it holds a byte that
// would split the line or the field.
bool ShownText(const std::string& text, std::string* shown) {
    shown->clear();
    for (char byte : text) {
        if (byte == '\t' || byte == '\r')
            return false;
        if (byte == '\n')
            shown->append("\\r\\n");
        else
            shown->push_back(byte);
    }
    return true;
}

}  // namespace

bool WriteLayoutTable(const unsigned char* data, size_t size, std::FILE* out, std::string* error) {
    const std::vector<LayoutEntry> records = ParseLayout(data, size);
    std::string lines = "# command\tid\tleft\ttop\tright\tbottom\tfirst\tsecond\n";
    std::vector<std::string> seen;
    for (size_t index = 0; index < records.size(); ++index) {
        const LayoutEntry& record = records[index];
        if (std::find(seen.begin(), seen.end(), record.command) != seen.end())
            continue;
        seen.push_back(record.command);
        std::string first;
        std::string second;
        if (!ShownText(record.firstArgument, &first) || !ShownText(record.secondArgument, &second)) {
            *error = "record " + std::to_string(index) + " (" + record.command +
                     ") has a text with a tab or a carriage return, which one line cannot show";
            return false;
        }
        lines += record.command + "\t" + std::to_string(kFirstControlId + static_cast<long long>(index)) + "\t" +
                 std::to_string(record.left) + "\t" + std::to_string(record.top) + "\t" + std::to_string(record.right) +
                 "\t" + std::to_string(record.bottom) + "\t" + first + "\t" + second + "\n";
    }
    std::fwrite(lines.data(), 1, lines.size(), out);
    return true;
}

void WriteFactTable(std::FILE* out) {
    const struct {
        const char* name;
        std::string value;
    } facts[] = {
        {"install-key", std::string(kInstallKeyRoot) + kInstallKeyPath},
        {"game-folder-value", kInstallInfoValue},
        {"installed-folder-value", kQuorvanInfoValue},
        {"geforce2mx-value", kQuorvanGeforce2mxValue},
        {"first-control-id", std::to_string(kFirstControlId)},
        {"save-folder", kSaveFolder},
        {"save-file", kSaveFileName},
    };
    std::fputs("# fact\tvalue\n", out);
    for (const auto& fact : facts)
        std::fprintf(out, "%s\t%s\n", fact.name, fact.value.c_str());
}
