// Feeds arbitrary bytes to the message decoder, as the engine would hand them over (up to the
// first zero byte), and checks it against the sscanf baseline.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "EngineMailbox.h"
#include "SscanfMessageDecoder.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A few messages per input, split at zero bytes, so that updates meet earlier joins.
    std::string input(reinterpret_cast<const char*>(data), size);
    int closes = 0;
    EngineMailbox mailbox([&closes] { ++closes; }, [] { return std::time_t{0}; });
    RecordingMessageTarget baseline;
    for (std::size_t start = 0; start <= input.size();) {
        std::size_t stop = input.find('\0', start);
        if (stop == std::string::npos) stop = input.size();
        const std::string message = input.substr(start, stop - start);
        mailbox.OnEngineMessage(message.c_str());
        SscanfDecodeEngineMessage(message.c_str(), baseline);
        start = stop + 1;
    }
    mailbox.OnConsoleOutput(input.c_str());
    baseline.lines.emplace_back(input.c_str());

    Check(mailbox.TakeRosterChanged() == baseline.changed);
    Check(closes == baseline.closes);
    std::vector<std::string> lines;
    mailbox.TakePendingConsoleLines(lines);
    Check(lines == baseline.lines);
    for (const std::string& line : lines)
        Check(line.size() <= kConsoleLineLength || line == input.c_str());

    std::vector<PlayerRecord> ours, theirs;
    mailbox.CopyRoster(ours);
    baseline.roster.CopyTo(theirs);
    Check(ours.size() == theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        Check(ours[i].clientId == theirs[i].clientId);
        Check(ours[i].teamLabelId == theirs[i].teamLabelId);
        Check(ours[i].specialtyLabelId == theirs[i].specialtyLabelId);
        Check(std::memchr(ours[i].name, '\0', sizeof ours[i].name) != nullptr);
        Check(std::strcmp(ours[i].name, theirs[i].name) == 0);
    }
    mailbox.Clear();
    return 0;
}
