#include "SystemdNotifier.h"

#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ByteText.h"

namespace {

// A whole decimal number that fits, or none.
std::optional<uint64_t> ReadNumber(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    const char* end = text + std::strlen(text);
    uint64_t value = 0;
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

}  // namespace

SystemdNotifier::SystemdNotifier() {
    const char* name = std::getenv("NOTIFY_SOCKET");
    if (name == nullptr) return;
    const std::size_t length = std::strlen(name);
    // The name and, for a path, its terminating zero must fit sun_path.
    if (length < 2 || length >= sizeof address_.sun_path) return;
    address_.sun_family = AF_UNIX;
    if (name[0] == '/') {
        std::memcpy(address_.sun_path, name, length + 1);
        addressLength_ = socklen_t(offsetof(sockaddr_un, sun_path) + length + 1);
    } else if (name[0] == '@') {
        address_.sun_path[0] = '\0';  // the abstract namespace; the name is not zero-terminated
        std::memcpy(address_.sun_path + 1, name + 1, length - 1);
        addressLength_ = socklen_t(offsetof(sockaddr_un, sun_path) + length);
    } else {
        return;
    }
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;

    const std::optional<uint64_t> usec = ReadNumber(std::getenv("WATCHDOG_USEC"));
    if (!usec || *usec == 0 || *usec > uint64_t(INT64_MAX)) return;
    if (const char* pid = std::getenv("WATCHDOG_PID"); pid != nullptr) {
        const std::optional<uint64_t> owner = ReadNumber(pid);
        if (!owner || *owner != uint64_t(::getpid())) return;
    }
    timeout_ = std::chrono::microseconds(int64_t(*usec));
    pingInterval_ = *timeout_ / 2;
}

SystemdNotifier::~SystemdNotifier() {
    if (fd_ >= 0) ::close(fd_);
}

void SystemdNotifier::Status(std::string_view text) {
    std::string message = "STATUS=";
    const std::string shown = byte_text::ToUtf8(text);
    std::string_view rest = shown;
    while (!rest.empty()) {
        const std::size_t length = byte_text::Utf8CharacterLength(rest);
        if (message.size() + length > sizeof "STATUS=" - 1 + kMaxStatusBytes) break;
        const auto lead = static_cast<unsigned char>(rest[0]);
        const bool control = length == 1
                                 ? (lead < 0x20 || lead == 0x7F)
                                 : (lead == 0xC2 && static_cast<unsigned char>(rest[1]) < 0xA0);
        if (control) {
            message.push_back(' ');
        } else {
            message.append(rest.substr(0, length));
        }
        rest.remove_prefix(length);
    }
    Send(message);
}

void SystemdNotifier::Send(std::string_view message) {
    if (fd_ < 0) return;
    // A full or vanished socket loses this message; the next one tries again.
    (void)::sendto(fd_, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                   reinterpret_cast<const sockaddr*>(&address_), addressLength_);
}
