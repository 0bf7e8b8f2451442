#include "package/LayoutFile.h"

#include <cstring>
#include <utility>

namespace {
const char kLayoutDelimiters[] = ", \t\r\n";
const char kWrittenLineBreak[] = "\\r\\n";
}  // namespace

TextTokenizer::TextTokenizer(const unsigned char* data, size_t size) : data_(data), size_(data ? size : 0) {
    token_[0] = '\0';
}

bool TextTokenizer::IsDelimiter(unsigned char byte) const {
    return std::memchr(delimiters_.data(), byte, delimiters_.size()) != nullptr;
}

void TextTokenizer::Append(unsigned char byte) {
    if (count_ + 1 < kLayoutTextSize)
        token_[count_++] = static_cast<char>(byte);
}

const char* TextTokenizer::Finish() {
    token_[count_] = '\0';
    return token_;
}

const char* TextTokenizer::NextToken() {
    count_ = 0;
    while (position_ < size_) {
        const unsigned char byte = data_[position_];
        if (byte == comment_ && (position_ == 0 || data_[position_ - 1] == '\n')) {
            while (position_ < size_ && data_[position_] != '\n')
                ++position_;
            continue;  // the line feed, if any, is read as a delimiter
        }
        if (IsDelimiter(byte)) {
            if (count_ > 0)
                return Finish();
            ++position_;
            continue;
        }
        Append(byte);
        ++position_;
    }
    return count_ > 0 ? Finish() : nullptr;
}

const char* TextTokenizer::QuotedText() {
    count_ = 0;
    while (position_ < size_ && IsDelimiter(data_[position_]))
        ++position_;
    if (position_ >= size_)
        return nullptr;
    const unsigned char quote = data_[position_++];
    while (position_ < size_) {
        const unsigned char byte = data_[position_++];
        if (byte == quote)
            break;
        Append(byte);
    }
    return Finish();
}

void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement) {
    if (pattern.empty())
        return;
    size_t at = text.find(pattern);
    while (at != std::string::npos) {
        text.replace(at, pattern.size(), replacement);
        at = text.find(pattern, at + replacement.size());
    }
}

int32_t LayoutNumber(const char* token) {
    const char* at = token;
    while (*at == ' ' || (*at >= '\t' && *at <= '\r'))
        ++at;
    bool negative = false;
    if (*at == '+' || *at == '-')
        negative = *at++ == '-';
    int64_t value = 0;
    for (; *at >= '0' && *at <= '9'; ++at) {
        value = value * 10 + (*at - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1;  // beyond either limit: stop growing
    }
    if (negative)
        return int32_t(-value);
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

std::vector<LayoutEntry> ParseLayout(const unsigned char* data, size_t size) {
    std::vector<LayoutEntry> entries;
    TextTokenizer tokenizer(data, size);
    tokenizer.SetDelimiters(kLayoutDelimiters);
    for (;;) {
        LayoutEntry entry;
        const char* token = tokenizer.NextToken();
        if (!token)
            break;
        entry.command = token;

        int32_t* const numbers[] = {&entry.left, &entry.top, &entry.right, &entry.bottom};
        bool complete = true;
        for (int32_t* number : numbers) {
            token = tokenizer.NextToken();
            if (!token) {
                complete = false;
                break;
            }
            *number = LayoutNumber(token);
        }
        std::string* const texts[] = {&entry.firstArgument, &entry.secondArgument};
        for (std::string* text : texts) {
            const char* quoted = complete ? tokenizer.QuotedText() : nullptr;
            if (!quoted) {
                complete = false;
                break;
            }
            *text = quoted;
            ReplaceAll(*text, kWrittenLineBreak, "\n");
        }
        if (!complete)
            break;  // the file ended inside this record
        entries.push_back(std::move(entry));
    }
    return entries;
}
