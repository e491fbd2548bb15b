// Builds the ARGS column of a call-trace line: each argument after a tab, texts as C string
// literals so that any byte the host hands over stays readable and unambiguous.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TraceArgs {
public:
    TraceArgs& Text(const char* text);  // null: NULL
    TraceArgs& Text(std::string_view text);
    TraceArgs& Number(int64_t value);
    TraceArgs& Pointer(const void* pointer);  // null: NULL
    // A record: "{" then name=value items separated by blanks, then "}".
    TraceArgs& BeginRecord();
    TraceArgs& Field(std::string_view name, int64_t value);
    TraceArgs& Field(std::string_view name, std::string_view text);
    TraceArgs& EndRecord();
    TraceArgs& Null();

    const std::string& Line() const { return line; }

    // The C string literal of a byte string: backslash escapes, \xNN for other bytes, and a
    // literal split ("" ) where a hex digit would otherwise extend a \x escape.
    static void AppendLiteral(std::string& out, std::string_view text);

private:
    void Separator();

    std::string line;
    bool inRecord = false;
    bool recordEmpty = true;
};
