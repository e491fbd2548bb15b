#include "TokenStore.h"

#include <sodium.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "PrivateFile.h"
#include "SecureRandom.h"

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr std::size_t kTokenBytes = 32;

std::string HashHex(const std::string& token) {
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

std::string CheckLabel(const QString& label) {
    if (label.trimmed().isEmpty() || label.size() > TokenStore::kMaxLabelLength)
        return "a label has 1 to " + std::to_string(TokenStore::kMaxLabelLength) + " characters";
    for (QChar c : label)
        if (c.category() == QChar::Other_Control) return "a label holds no control characters";
    return {};
}

}  // namespace

std::string TokenStore::Load() {
    tokens_.clear();
    const private_file::ReadResult read =
        private_file::Read(QString::fromStdString(path_), kMaxFileBytes, true);
    if (read.missing) return {};
    if (!read.problem.empty()) return read.problem;
    const QJsonDocument document = QJsonDocument::fromJson(read.bytes);
    const std::string foreign = path_ + ": not a token file this server wrote";
    if (!document.isObject()) return foreign;
    std::vector<MetricsToken> tokens;
    for (const QJsonValue& value : document.object().value("tokens").toArray()) {
        const QJsonObject entry = value.toObject();
        MetricsToken token{entry.value("id").toString().toStdString(),
                           entry.value("label").toString().toStdString(),
                           static_cast<int64_t>(entry.value("created").toDouble()),
                           entry.value("hash").toString().toStdString()};
        if (token.id.size() != 8 || token.hash.size() != crypto_generichash_BYTES * 2 ||
            !CheckLabel(QString::fromStdString(token.label)).empty() || tokens.size() >= kMaxTokens)
            return foreign;
        tokens.push_back(std::move(token));
    }
    tokens_ = std::move(tokens);
    return {};
}

std::string TokenStore::Save(const std::vector<MetricsToken>& tokens) {
    QJsonArray entries;
    for (const MetricsToken& token : tokens)
        entries.append(QJsonObject{{"id", QString::fromStdString(token.id)},
                                   {"label", QString::fromStdString(token.label)},
                                   {"created", static_cast<double>(token.created)},
                                   {"hash", QString::fromStdString(token.hash)}});
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{"tokens", entries}}).toJson(QJsonDocument::Indented);
    std::string problem = private_file::Write(QString::fromStdString(path_), bytes);
    if (problem.empty()) tokens_ = tokens;
    return problem;
}

TokenStore::Made TokenStore::Make(const QString& label, int64_t nowSeconds) {
    Made made;
    if (made.problem = CheckLabel(label); !made.problem.empty()) return made;
    if (tokens_.size() >= kMaxTokens) {
        made.problem = "there are " + std::to_string(kMaxTokens) + " tokens already";
        return made;
    }
    std::string id;
    do id = RandomHex(4);
    while (std::ranges::find(tokens_, id, &MetricsToken::id) != tokens_.end());
    made.token = RandomHex(kTokenBytes);
    made.entry = {id, label.toStdString(), nowSeconds, HashHex(made.token)};
    std::vector<MetricsToken> tokens = tokens_;
    tokens.push_back(made.entry);
    if (made.problem = Save(tokens); !made.problem.empty()) made.token.clear();
    return made;
}

bool TokenStore::Remove(const std::string& id, std::string* problem) {
    std::vector<MetricsToken> tokens = tokens_;
    if (std::erase_if(tokens, [&](const MetricsToken& t) { return t.id == id; }) == 0) return false;
    std::string why = Save(tokens);
    if (problem) *problem = why;
    return why.empty();
}

std::optional<std::string> TokenStore::Match(const std::string& token) const {
    const std::string hash = HashHex(token);
    // Every entry is compared in full, so the time says nothing of which one nearly matched.
    std::optional<std::string> found;
    for (const MetricsToken& entry : tokens_)
        if (sodium_memcmp(entry.hash.data(), hash.data(), hash.size()) == 0) found = entry.id;
    return found;
}
