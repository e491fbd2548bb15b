// A stand-in for the Agones SDK sidecar's REST paths, for tests only: it records each request as
// "METHOD PATH BODY" and answers 200 "{}", or the raw answers a test queued for a request (an empty
// one says nothing and holds the connection). Plain sockets on a thread of its own, so that a test
// may block on a child process while it answers.
#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SdkStandIn {
public:
    ~SdkStandIn() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : held_) ::close(fd);
        ::close(listener_);
    }

    bool Listen(uint16_t port = 0) {  // 0: any free port
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 16) != 0)
            return false;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (pollfd entry{listener_, POLLIN, 0}; !stop_;)
                if (int fd;
                    ::poll(&entry, 1, 20) > 0 && (fd = ::accept(listener_, nullptr, nullptr)) >= 0)
                    Answer(fd);
        });
        return true;
    }
    uint16_t Port() const { return port_; }
    void QueueAnswer(const std::string& request, std::string raw) {
        std::lock_guard lock(mutex_);
        raw_[request].push_back(std::move(raw));
    }
    std::vector<std::string> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Answer(int fd) {
        const timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string text;
        char buffer[4096];
        std::size_t end, length = 0;
        for (ssize_t n = 1; n > 0 && ((end = text.find("\r\n\r\n")) == std::string::npos ||
                                      text.size() < end + 4 + length);) {
            if ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) text.append(buffer, n);
            if (const auto at = text.find("Content-Length: "); at < text.find("\r\n\r\n"))
                length = std::stoul(text.substr(at + 16));
        }
        std::lock_guard lock(mutex_);
        const std::string line = text.substr(0, text.find(" HTTP/1.1"));
        requests_.push_back(line + ' ' + text.substr(std::min(text.size(), end + 4)));
        std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";
        if (auto& queued = raw_[line]; !queued.empty()) {
            answer = queued.front();
            queued.pop_front();
        }
        if (answer.empty()) return held_.push_back(fd);
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(fd);
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::map<std::string, std::deque<std::string>> raw_;
    std::vector<int> held_;
};
