#include "SafeText.h"

#include <gtest/gtest.h>

namespace {

using safe_text::Form;

std::string Safe(std::string_view bytes, Form form) {
    std::string out;
    safe_text::Append(out, bytes, form);
    return out;
}

TEST(SafeTextTest, HiddenCharactersAreEscapedAndEverythingElseShowsAsItIs) {
    const struct {
        std::string bytes;
        const char* shown;
    } cases[] = {
        {"plain ASCII ~", "plain ASCII ~"},
        {"tab\tcr\rlf\nbs\bff\f", "tab\\tcr\\rlf\\nbs\\bff\\f"},
        {std::string("nul\0esc\x1b[2Jdel\x7f", 15), "nul\\u0000esc\\u001b[2Jdel\\u007f"},
        {"c1 raw \x85 encoded \xc2\x9b", "c1 raw \\u0085 encoded \\u009b"},
        {"line\xe2\x80\xa8para\xe2\x80\xa9", "line\\u2028para\\u2029"},
        // Bidirectional embeddings, overrides, isolates and marks.
        {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xae",
         "\\u202a\\u202b\\u202c\\u202d\\u202e"},
        {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9", "\\u2066\\u2067\\u2068\\u2069"},
        {"\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c", "\\u200e\\u200f\\u061c"},
        // Invisible characters that make two names look alike; a tag character beyond U+FFFF.
        {"Ad\xc2\xadmi\xe2\x80\x8bn\xe2\x81\xa0\xef\xbb\xbf", "Ad\\u00admi\\u200bn\\u2060\\ufeff"},
        {"a\xf3\xa0\x81\x81z", "a\\udb40\\udc41z"},
        // The joiners stay: scripts and emoji need them.
        {"\xe2\x80\x8c\xe2\x80\x8d", "\xe2\x80\x8c\xe2\x80\x8d"},
        // Bytes that are not UTF-8 are their Latin-1 characters; letters beyond ASCII stay.
        {"Jos\xe9 J\xc3\xb6rg \xf0\x9f\x98\x80", "Jos\xc3\xa9 J\xc3\xb6rg \xf0\x9f\x98\x80"},
        {"quote \" backslash \\", "quote \" backslash \\"},
    };
    for (const auto& c : cases) EXPECT_EQ(Safe(c.bytes, Form::Screen), c.shown) << c.shown;
}

TEST(SafeTextTest, LogFormsAlsoEscapeWhatWouldMakeAnEscapeAmbiguousOrEndAString) {
    EXPECT_EQ(Safe("a\"b\\c\n", Form::LogText), "a\"b\\\\c\\n");
    EXPECT_EQ(Safe("a\"b\\c\n", Form::JsonString), "a\\\"b\\\\c\\n");
}

}  // namespace
