#include "SecureRandom.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    std::size_t filled = 0;
    while (filled < bytes) {
        const ssize_t got = getrandom(raw.data() + filled, bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("the system's random generator failed");
        }
        filled += static_cast<std::size_t>(got);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes * 2);
    for (unsigned char b : raw) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 15]);
    }
    return hex;
}
