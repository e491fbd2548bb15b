// Read-only tokens for /metrics: each is 256 random bits, shown once when made and kept only as
// a hash (the tokens are random, so a fast hash is enough) with an id and a label, in a file only
// its owner may read (`tarnwick/admin-tokens`), written whole and atomically at every change.
// User-interface thread.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct MetricsToken {
    std::string id;       // eight hex digits, to revoke it by
    std::string label;    // what the operator called it
    int64_t created = 0;  // seconds since the epoch
    std::string hash;     // hex of the token's hash
};

class TokenStore {
public:
    static constexpr const char* kDefaultPath = "tarnwick/admin-tokens";
    static constexpr std::size_t kMaxTokens = 32;
    static constexpr qsizetype kMaxLabelLength = 64;

    explicit TokenStore(std::string path = kDefaultPath) : path_(std::move(path)) {}

    std::string Load();  // why the file was refused, or empty (a missing file is no token)

    struct Made {
        std::string problem;  // why none was made, or empty
        MetricsToken entry;
        std::string token;  // the only time it is seen
    };
    Made Make(const QString& label, int64_t nowSeconds);
    bool Remove(const std::string& id, std::string* problem = nullptr);
    // The id of the token, when it is one of ours.
    std::optional<std::string> Match(const std::string& token) const;
    const std::vector<MetricsToken>& Tokens() const { return tokens_; }

private:
    std::string Save(const std::vector<MetricsToken>& tokens);

    std::string path_;
    std::vector<MetricsToken> tokens_;
};
