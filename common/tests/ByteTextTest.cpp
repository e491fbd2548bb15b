#include "ByteText.h"

#include <gtest/gtest.h>

using byte_text::ToUtf8;

TEST(ByteTextTest, AsciiAndValidUtf8ReadAsWritten) {
    EXPECT_EQ(ToUtf8("Alice"), "Alice");
    EXPECT_EQ(ToUtf8("Jos\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xaf"),
              "Jos\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xaf");
    EXPECT_EQ(ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(ByteTextTest, EveryOtherByteIsItsLatin1Character) {
    EXPECT_EQ(ToUtf8("Jos\xe9"), "Jos\xc3\xa9");                    // a lone Latin-1 byte
    EXPECT_EQ(ToUtf8("\xc3"), "\xc3\x83");                          // a sequence cut at the end
    EXPECT_EQ(ToUtf8("\xc3(x"), "\xc3\x83(x");                      // a lead without its tail
    EXPECT_EQ(ToUtf8("\xc0\xaf"), "\xc3\x80\xc2\xaf");              // an overlong slash
    EXPECT_EQ(ToUtf8("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80");  // a surrogate
    EXPECT_EQ(ToUtf8("\xf4\x90\x80\x80"), "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80");  // past U+10FFFF
    EXPECT_EQ(ToUtf8("\xff\xfe"), "\xc3\xbf\xc3\xbe");
}

TEST(ByteTextTest, ResultIsAlwaysValidUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string text = ToUtf8(all + all.substr(128) + "\xe2\x82");
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t length = byte_text::Utf8CharacterLength(rest);
        ASSERT_NE(length, 0u) << "at offset " << text.size() - rest.size();
        rest.remove_prefix(length);
    }
}
