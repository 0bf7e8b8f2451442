#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/LayoutFile.h"

// The layout file reader on arbitrary bytes: every read stays inside the data and inside the 512-byte buffers, and
// every text it returns fits a skin control's text buffer.
namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly size bytes, so that any read past the end is caught.
    std::vector<unsigned char> bytes(data, data + size);
    const unsigned char* input = bytes.empty() ? nullptr : bytes.data();

    for (const LayoutEntry& entry : ParseLayout(input, size)) {
        Check(entry.command.size() < kLayoutTextSize);  // empty when the token starts with a zero byte
        Check(entry.firstArgument.size() < kLayoutTextSize);
        Check(entry.secondArgument.size() < kLayoutTextSize);
        Check(entry.firstArgument.find("\\r\\n") == std::string::npos);
    }

    // The tokenizer's two reads mixed, steered by the data itself, with the first byte as the delimiter set.
    TextTokenizer tokenizer(input, size);
    const std::string delimiters = size > 0 ? std::string(1, char(data[0])) + "\n" : std::string(" \n");
    tokenizer.SetDelimiters(delimiters.c_str());
    for (size_t step = 0; step < size + 2; ++step) {
        const char* text = (step < size && (data[step] & 1)) ? tokenizer.QuotedText() : tokenizer.NextToken();
        if (!text)
            break;
        Check(std::strlen(text) < kLayoutTextSize);
    }

    // The line-break rewrite never grows a text and leaves no written-out line break behind.
    std::string text(reinterpret_cast<const char*>(data), size);
    ReplaceAll(text, "\\r\\n", "\n");
    Check(text.size() <= size);
    Check(text.find("\\r\\n") == std::string::npos);
    return 0;
}
