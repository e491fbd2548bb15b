#include "WebServer.h"

#include <openssl/ssl.h>
#include <sys/stat.h>

#include <cstring>
#include <set>
#include <sstream>

#include "WebServerImpl.h"

using namespace web_transport;

namespace {

constexpr int kAddressRefreshSeconds = 10;

std::string ReadableKeyError(const std::string& keyFile) {
    struct stat info {};
    if (::stat(keyFile.c_str(), &info) != 0)
        return "cannot read the key file " + keyFile + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "the key file " + keyFile + " is not a regular file";
    if (info.st_mode & (S_IROTH | S_IWOTH))
        return "the key file " + keyFile + " is readable by others (chmod o-rwx it)";
    return {};
}

// The answer to a connection that finds no slot, written at once without reading its request.
void RefuseBusy(tcp::socket& socket) {
    static const std::string kBusy = [] {
        http::response<http::string_body> busy{http::status::service_unavailable, 11};
        AddSecurityHeaders(busy);
        busy.set(http::field::content_type, "application/json");
        busy.set(http::field::cache_control, "no-store");
        busy.body() = JsonError("too many connections");
        busy.keep_alive(false);
        busy.prepare_payload();
        std::ostringstream text;
        text << busy;
        return text.str();
    }();
    beast::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.write_some(asio::buffer(kBusy), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

}  // namespace

std::string web_transport::JsonError(std::string_view message) {
    std::string body = "{\"error\":\"";
    for (char c : message) {
        if (c == '"' || c == '\\') {
            body += '\\';
            body += c;
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            body += c;
        }
    }
    return body + "\"}";
}

WebServer::Impl::~Impl() {
    // Pending handlers own the connections, whose destructors still reach the tables below.
    held.clear();
    acceptor.reset();
    ioc.reset();
}

std::shared_ptr<Connection> WebServer::Impl::Release(uint64_t id) {
    const auto found = held.find(id);
    if (found == held.end()) return nullptr;
    std::shared_ptr<Connection> connection = std::move(found->second);
    held.erase(found);
    return connection;
}

void WebServer::Impl::Close(const std::vector<uint64_t>& ids) {
    for (uint64_t id : ids)
        if (const auto found = open.find(id); found != open.end())
            if (auto connection = found->second.lock()) connection->Close();
}

void WebServer::Impl::CloseAll() {
    if (acceptor) acceptor->close();
    std::vector<std::shared_ptr<Connection>> all;
    for (auto& [id, weak] : open)
        if (auto connection = weak.lock()) all.push_back(connection);
    for (auto& connection : all) connection->Close();
}

std::string WebServer::Impl::SetUpTls() {
    if (std::string why = ReadableKeyError(config.keyFile); !why.empty()) return why;
    tls.emplace(asio::ssl::context::tls_server);
    tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                     asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                     asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use |
                     asio::ssl::context::no_compression);
    SSL_CTX* native = tls->native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    // TLS 1.2: forward secret key exchange with an AEAD cipher only (TLS 1.3's are all such).
    SSL_CTX_set_cipher_list(native, "ECDHE+AESGCM:ECDHE+CHACHA20");
    beast::error_code error;
    tls->use_certificate_chain_file(config.certFile, error);
    if (error) return "cannot load the certificate " + config.certFile + ": " + error.message();
    tls->use_private_key_file(config.keyFile, asio::ssl::context::pem, error);
    if (error) return "cannot load the key " + config.keyFile + ": " + error.message();
    if (SSL_CTX_check_private_key(native) != 1)
        return "the key " + config.keyFile + " does not belong to the certificate";
    return {};
}

bool WebServer::Impl::HostAllowed(std::string_view host) {
    if (::HostAllowed(host, hostPolicy)) return true;
    // The machine's addresses may have changed since they were read.
    const auto now = std::chrono::steady_clock::now();
    if (now - addressesRead < std::chrono::seconds(kAddressRefreshSeconds)) return false;
    addressesRead = now;
    hostPolicy.ownAddresses = MachineAddresses();
    return ::HostAllowed(host, hostPolicy);
}

void WebServer::Impl::Accept() {
    acceptor->async_accept([this](beast::error_code error, tcp::socket socket) {
        OnAccept(error, std::move(socket));
    });
}

void WebServer::Impl::OnAccept(beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor || !acceptor->is_open()) return;
    if (error) {
        // Out of descriptors, most likely: try again shortly rather than spin.
        auto timer = std::make_shared<asio::steady_timer>(*ioc, std::chrono::milliseconds(100));
        timer->async_wait([this, timer](beast::error_code e) {
            if (!e && acceptor && acceptor->is_open()) Accept();
        });
        return;
    }
    beast::error_code ignored;
    const auto remote = socket.remote_endpoint(ignored);
    const std::string peer =
        CanonicalAddress(remote.address().to_string()).value_or(remote.address().to_string());
    const uint64_t id = nextId++;
    const ConnectionSlots::Closing closing =
        slotTable.Open(id, AddressKey(peer), !trustedProxy.empty() && peer == trustedProxy);
    if (!closing) {
        RefuseBusy(socket);
        return Accept();
    }
    Close(*closing);
    ServeConnection(*this, std::move(socket), peer, id);
    Accept();
}

WebServer::WebServer(WebServerConfig config, Handlers handlers)
    : config_(std::move(config)), handlers_(std::move(handlers)) {}

WebServer::~WebServer() {
    Stop();
}

std::string WebServer::Start() {
    if (impl_) return "the web admin was already started";
    impl_ = std::make_unique<Impl>(config_, handlers_);
    Impl& impl = *impl_;
    if (!config_.certFile.empty())
        if (std::string why = impl.SetUpTls(); !why.empty()) {
            impl_.reset();
            return "cannot start TLS: " + why;
        }
    beast::error_code error;
    const auto address = asio::ip::make_address(config_.address, error);
    if (error) {
        impl_.reset();
        return "bad address " + config_.address;
    }
    const tcp::endpoint endpoint(address, config_.port);
    const std::string where = (address.is_v6() ? "[" + config_.address + "]" : config_.address) +
                              ":" + std::to_string(config_.port);
    impl.acceptor.emplace(*impl.ioc);
    impl.acceptor->open(endpoint.protocol(), error);
    if (!error) impl.acceptor->set_option(asio::socket_base::reuse_address(true), error);
    if (!error) impl.acceptor->bind(endpoint, error);
    if (!error) impl.acceptor->listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        std::string why =
            error == asio::error::address_in_use
                ? "port " + std::to_string(config_.port) + " on " + config_.address + " is taken"
                : "cannot listen on " + where + ": " + error.message();
        impl_.reset();
        return why;
    }
    impl.port = impl.acceptor->local_endpoint().port();
    impl.hostPolicy.port = impl.port;
    impl.cookieName = config_.cookiePrefix + std::to_string(impl.port);
    impl.trustedProxy = CanonicalAddress(config_.trustedProxy).value_or("");
    impl.hostPolicy.tls = !config_.certFile.empty();
    impl.hostPolicy.names = config_.hostNames;
    impl.hostPolicy.ownAddresses = MachineAddresses();
    impl.addressesRead = std::chrono::steady_clock::now();
    impl.Accept();
    impl.running = true;
    impl.thread = std::thread([&impl] { impl.ioc->run(); });
    return {};
}

void WebServer::Stop() {
    if (!impl_) return;
    if (impl_->thread.joinable()) {
        Impl& impl = *impl_;
        asio::post(*impl.ioc, [&impl] {
            impl.CloseAll();
            impl.ioc->stop();
        });
        impl.thread.join();
    }
    impl_->running = false;
    impl_.reset();
}

bool WebServer::IsRunning() const {
    return impl_ && impl_->running;
}

uint16_t WebServer::Port() const {
    return impl_ ? impl_->port : 0;
}

void WebServer::Broadcast(std::vector<std::shared_ptr<const std::string>> messages) {
    if (!impl_ || messages.empty()) return;
    Impl& impl = *impl_;
    asio::post(*impl.ioc, [&impl, messages = std::move(messages)] {
        std::vector<std::shared_ptr<LiveConnection>> sockets;
        sockets.reserve(impl.live.size());
        for (auto& [id, weak] : impl.live)
            if (auto socket = weak.lock()) sockets.push_back(std::move(socket));
        for (auto& socket : sockets)
            for (const auto& message : messages) socket->Send(message);
    });
}

void WebServer::EndSessions(std::vector<std::string> sessionIds) {
    if (!impl_ || sessionIds.empty()) return;
    Impl& impl = *impl_;
    asio::post(
        *impl.ioc, [&impl, ids = std::set<std::string>(sessionIds.begin(), sessionIds.end())] {
            std::vector<std::shared_ptr<Connection>> ending;
            for (auto& [id, weak] : impl.open)
                if (auto connection = weak.lock(); connection && ids.count(connection->SessionId()))
                    ending.push_back(std::move(connection));
            for (auto& connection : ending) connection->SessionEnded();
        });
}
