#include <gtest/gtest.h>

#include <string>

#include "installer/WebAddress.h"

// Which addresses of a layout file's "iejump" records are opened: web pages only.
TEST(WebAddress, OnlyHttpAndHttpsAddressesOpen) {
    struct Case {
        std::string address;
        bool opens;
    };
    const Case cases[] = {
        {"http://www.example.com/quorvan/", true},
        {"https://bbs.example.com/forum-sm3/", true},
        {"HTTP://EXAMPLE.COM", true},
        {"http://example.com/\xD6\xD0\xCE\xC4", true},  // GBK characters in the path
        {"http://", false},                             // nothing after the scheme
        {"https://", false},
        {"", false},
        {"iexplore.exe", false},
        {"C:\\Windows\\System32\\cmd.exe", false},
        {"file:///C:/Windows/System32/cmd.exe", false},
        {"javascript:alert(1)", false},
        {"ftp://example.com/", false},
        {"www.example.com", false},
        {" http://example.com/", false},
        {"http://example.com/ -new", false},  // a second argument for the browser
        {"http://example.com/\" -k", false},
        {"http://example.com/\t", false},
        {std::string("http://a\0b", 10), false},
        {"http://example.com/\x7F", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.opens, IsWebAddress(c.address)) << c.address;
}
