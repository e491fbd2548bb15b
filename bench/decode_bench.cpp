// Decoding a realistic stream of engine messages: the decoder against the sscanf baseline.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "EngineMailbox.h"
#include "SscanfMessageDecoder.h"

namespace {

// Keeps records in a flat table so that the figures measure decoding, not a hash map.
class FlatTarget final : public EngineMessageTarget {
public:
    void AddPlayer(int32_t clientId) override {
        PlayerRecord& record = records[PlayerRoster::KeyOf(clientId)];
        record = PlayerRecord{};
        record.clientId = clientId;
        present[PlayerRoster::KeyOf(clientId)] = true;
    }
    void RemovePlayer(int32_t clientId) override { present[PlayerRoster::KeyOf(clientId)] = false; }
    PlayerRecord* FindPlayer(int32_t clientId) override {
        uint16_t key = PlayerRoster::KeyOf(clientId);
        return present[key] ? &records[key] : nullptr;
    }
    void MarkRosterChanged() override { changed = true; }
    void QueueConsoleLine(std::string_view line) override { lastLine.assign(line); }
    void CloseServer() override {}

    bool changed = false;
    std::string lastLine = std::string(1024, ' ');

private:
    std::vector<PlayerRecord> records = std::vector<PlayerRecord>(65536);
    std::vector<bool> present = std::vector<bool>(65536);
};

// Joins, multi-record updates, console lines and removals over 64 player slots.
const std::vector<std::string>& MessageMix() {
    static const std::vector<std::string> mix = [] {
        static const char* const names[] = {"Alice",        "Bob",
                                            " Spaced Name", "xX_Sniper_Xx",
                                            "Ren",          "A name of exactly thirty chars"};
        std::mt19937 random(7);
        std::vector<std::string> messages;
        std::vector<int> ids;
        for (int i = 0; i < 4000; ++i) {
            unsigned kind = random() % 10;
            if (ids.size() < 8 || kind == 0) {
                int id = 1 + static_cast<int>(random() % 64);
                ids.push_back(id);
                messages.push_back("\x01" + std::to_string(id));
            } else if (kind == 1) {
                int id = ids[random() % ids.size()];
                messages.push_back("\x02" + std::to_string(id));
            } else if (kind < 6) {
                std::string message = "\x03";
                int records = 1 + static_cast<int>(random() % 8);
                for (int r = 0; r < records; ++r) {
                    message += std::to_string(ids[random() % ids.size()]) + " " +
                               names[random() % std::size(names)] + "\n" +
                               std::to_string(1070 + random() % 4) + " " +
                               std::to_string(1080 + random() % 9) + " ";
                }
                messages.push_back(message + "-1");
            } else {
                std::string line =
                    "\x06"
                    "Player " +
                    std::to_string(random() % 64) + " scored " + std::to_string(random() % 100) +
                    " points";
                line.append(random() % 80, '.');
                messages.push_back(line);
            }
        }
        return messages;
    }();
    return mix;
}

// The messages back to back in one buffer, as the engine hands them out of its own buffer.
struct PackedMix {
    std::string bytes;
    std::vector<const char*> messages;
};

const PackedMix& PackedMessages() {
    static const PackedMix packed = [] {
        PackedMix mix;
        std::vector<std::size_t> offsets;
        for (const auto& message : MessageMix()) {
            offsets.push_back(mix.bytes.size());
            mix.bytes += message;
            mix.bytes += '\0';
        }
        for (std::size_t offset : offsets) mix.messages.push_back(mix.bytes.data() + offset);
        return mix;
    }();
    return packed;
}

template <void (*Decode)(const char*, EngineMessageTarget&)>
void RunDecode(benchmark::State& state) {
    const PackedMix& mix = PackedMessages();
    FlatTarget target;
    for (auto _ : state) {
        for (const char* message : mix.messages) Decode(message, target);
        benchmark::DoNotOptimize(target.changed);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mix.messages.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mix.bytes.size()));
}

void BM_DecodeMessages(benchmark::State& state) {
    RunDecode<DecodeEngineMessage>(state);
}
void BM_DecodeMessagesSscanf(benchmark::State& state) {
    RunDecode<SscanfDecodeEngineMessage>(state);
}

// The whole host path: decoding into the real roster and console queue, drained per batch as
// the window's refresh does.
void BM_MailboxMessages(benchmark::State& state) {
    const PackedMix& mix = PackedMessages();
    EngineMailbox mailbox;
    std::vector<std::string> lines;
    for (auto _ : state) {
        for (const char* message : mix.messages) mailbox.OnEngineMessage(message);
        mailbox.TakePendingConsoleLines(lines);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mix.messages.size()));
}

BENCHMARK(BM_DecodeMessages);
BENCHMARK(BM_DecodeMessagesSscanf);
BENCHMARK(BM_MailboxMessages);

}  // namespace

BENCHMARK_MAIN();
