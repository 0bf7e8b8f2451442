#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The layout file "winpos.txt" places the skin controls on the main window's picture. It is GBK text with CR LF line
// ends, read as a stream of tokens and quoted texts:
//
//   # a comment runs from a '#' that starts the file or a line up to the line feed
//   command, left, top, right, bottom, "first argument", "second argument"
//
// - Tokens are separated by any run of comma, space, tab, CR and LF: commas are optional, a record may span lines
//   or share one, blank lines do not count.
// - The four numbers read like atoi: an optional sign and the leading digits; a token without digits reads as 0.
// - A quoted text starts at the first byte after the delimiters (that byte is the quote, whatever it is) and runs
//   to the next occurrence of the same byte; there is no escape. A '#' inside it is an ordinary byte.
// - Inside both texts the four bytes \r\n written out stand for one line feed.
// - A record ends with its second text. A record that the end of the file cuts short is dropped.
// - Tokens and texts keep at most 511 bytes; the rest of a longer one is read over and dropped.

constexpr size_t kLayoutTextSize = 512;  // token and text buffers, terminator included

// Reads tokens and quoted texts from a byte buffer that it does not own. The results point into the tokenizer's own
// buffer and stay valid until the next read.
class TextTokenizer {
  public:
    TextTokenizer(const unsigned char* data, size_t size);

    void SetDelimiters(const char* delimiters) { delimiters_ = delimiters; }

    // The next token, or null at the end of the data.
    const char* NextToken();
    // The next quoted text (possibly empty), or null when the data ends before its opening quote.
    const char* QuotedText();

  private:
    bool IsDelimiter(unsigned char byte) const;
    void Append(unsigned char byte);
    const char* Finish();

    size_t position_ = 0;
    const unsigned char* data_;
    size_t size_;
    unsigned char comment_ = '#';
    char token_[kLayoutTextSize];
    size_t count_ = 0;
    std::string delimiters_ = " \t\r\n";
};

// Replaces every occurrence of pattern in text; the search goes on after each inserted replacement, so an inserted
// text is never searched again. An empty pattern changes nothing.
void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement);

// atoi's reading of a number (leading white space, optional sign, decimal digits up to the first other byte), with
// values beyond the 32-bit range held at its limits.
int32_t LayoutNumber(const char* token);

// One record of the layout file as written there.
struct LayoutEntry {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // exclusive
    int32_t bottom = 0;  // exclusive
    std::string command;
    std::string firstArgument;
    std::string secondArgument;
};

// The main window makes one skin control per record; the record at index i of the file gets the control identifier
// kFirstControlId + i, which its WM_COMMAND carries.
constexpr int kFirstControlId = 1000;

// Reads every complete record, in file order.
std::vector<LayoutEntry> ParseLayout(const unsigned char* data, size_t size);
