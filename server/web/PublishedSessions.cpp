#include "PublishedSessions.h"

#include <openssl/sha.h>

namespace {

std::string Digest(const std::string& id) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(id.data()), id.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace

void PublishedSessions::Publish(const std::vector<std::string>& ids) {
    std::set<std::string> digests;
    for (const std::string& id : ids) digests.insert(Digest(id));
    const std::lock_guard guard(mutex_);
    digests_.swap(digests);
}

bool PublishedSessions::Contains(const std::string& id) const {
    if (id.empty()) return false;
    const std::string digest = Digest(id);
    const std::lock_guard guard(mutex_);
    return digests_.count(digest) != 0;
}
