#include "ftp/kn_unitFtpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "ftp/kn_unitFtpError.h"
#include "tls/kn_unitTls.h"

namespace kn {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events`; false on time-out. EINTR restarts the wait.
bool WaitReady(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) throw TKNFtpError(std::string("Socket error: ") + std::strerror(errno));
    }
}

std::string Endpoint(const std::string& host, uint16_t port)
{
    return host + ":" + std::to_string(port);
}

// Connects a fresh non-blocking socket to `addr`; returns the socket, or -1 with `err` set
// (ETIMEDOUT when the deadline passed).
int TryConnect(const sockaddr* addr, socklen_t len, Clock::time_point deadline, int& err)
{
    int fd = ::socket(addr->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    if (::connect(fd, addr, len) != 0 && errno != EINPROGRESS) {
        err = errno;
        ::close(fd);
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int r;
    do {
        r = ::poll(&p, 1, RemainingMs(deadline));
    } while (r < 0 && errno == EINTR);
    socklen_t errLen = sizeof(err);
    if (r <= 0) {
        err = r == 0 ? ETIMEDOUT : errno;
    } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void FailConnect(const std::string& where, int err)
{
    if (err == ETIMEDOUT) throw TKNFtpError("Connection to " + where + " timed out");
    throw TKNFtpError("Could not connect to " + where + ": " + std::strerror(err));
}

}  // namespace

TKNFtpSocket::~TKNFtpSocket()
{
    Close();
}

void TKNFtpSocket::Close()
{
    // A TLS connection freed without a shutdown makes its session unusable for resumption,
    // and a data connection shares the control connection's session: the next data connection
    // could then not resume it.
    if (ssl_ && SSL_is_init_finished(ssl_)) SSL_shutdown(ssl_);
    if (ssl_) SSL_free(ssl_);
    ssl_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

void TKNFtpSocket::ConnectHost(const std::string& host, uint16_t port, int timeoutMs)
{
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) throw TKNFtpError("Could not resolve host \"" + host + "\": " + ::gai_strerror(rc));
    int err = ETIMEDOUT;
    for (addrinfo* a = found; a != nullptr && fd_ < 0 && RemainingMs(deadline) > 0; a = a->ai_next)
        fd_ = TryConnect(a->ai_addr, a->ai_addrlen, deadline, err);
    ::freeaddrinfo(found);
    if (fd_ < 0) FailConnect(Endpoint(host, port), err);
}

void TKNFtpSocket::ConnectAddress(const sockaddr_storage& peer, uint16_t port, int timeoutMs)
{
    Close();
    sockaddr_storage addr = peer;
    socklen_t len;
    char text[INET6_ADDRSTRLEN] = "?";
    if (addr.ss_family == AF_INET6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&addr);
        a6->sin6_port = htons(port);
        len = sizeof(sockaddr_in6);
        ::inet_ntop(AF_INET6, &a6->sin6_addr, text, sizeof(text));
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&addr);
        a4->sin_port = htons(port);
        len = sizeof(sockaddr_in);
        ::inet_ntop(AF_INET, &a4->sin_addr, text, sizeof(text));
    }
    int err = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    fd_ = TryConnect(reinterpret_cast<sockaddr*>(&addr), len, deadline, err);
    if (fd_ < 0) FailConnect(Endpoint(text, port), err);
}

sockaddr_storage TKNFtpSocket::PeerAddress() const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof(addr);
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw TKNFtpError(std::string("Socket error: ") + std::strerror(errno));
    return addr;
}

template <class Call>
bool TKNFtpSocket::RunTls(Call call, int timeoutMs, int& result)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ERR_clear_error();
        result = call();
        if (result > 0) return true;
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!WaitReady(fd_, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) return false;
            continue;
        }
        if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && errno == 0)) {
            result = 0;  // the end of the data, with or without close_notify
            return true;
        }
        if (error == SSL_ERROR_SYSCALL)
            throw TKNFtpError(std::string("TLS connection failed: ") + std::strerror(errno));
        throw TKNFtpError("TLS connection failed: " + TlsErrorText());
    }
}

void TKNFtpSocket::StartTls(ssl_ctx_st* ctx, const std::string& host, ssl_session_st* reuse, int timeoutMs)
{
    if (fd_ < 0) throw TKNFtpError("Not connected");
    ssl_ = SSL_new(ctx);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) throw TKNFtpError("Cannot set up TLS: " + TlsErrorText());
    in6_addr ip6;
    in_addr ip4;
    const bool literal =
        ::inet_pton(AF_INET, host.c_str(), &ip4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &ip6) == 1;
    if (literal) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, host.c_str());
        SSL_set1_host(ssl_, host.c_str());
    }
    if (reuse) SSL_set_session(ssl_, reuse);
    int result = 0;
    if (!RunTls([this] { return SSL_connect(ssl_); }, timeoutMs, result))
        throw TKNFtpError("The TLS handshake with the server did not finish within " + std::to_string(timeoutMs) +
                          " ms");
    if (result <= 0) throw TKNFtpError("The server ended the TLS handshake");
}

void TKNFtpSocket::EndTls()
{
    if (ssl_) SSL_shutdown(ssl_);
}

void TKNFtpSocket::SendAll(const char* data, std::size_t size, int timeoutMs)
{
    if (fd_ < 0) throw TKNFtpError("Not connected");
    while (ssl_ && size > 0) {
        int result = 0;
        const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
        if (!RunTls([&] { return SSL_write(ssl_, data, chunk); }, timeoutMs, result))
            throw TKNFtpError("Sending to the server timed out");
        if (result <= 0) throw TKNFtpError("The server closed the TLS connection");
        data += result;
        size -= static_cast<std::size_t>(result);
    }
    while (size > 0) {
        ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitReady(fd_, POLLOUT, Clock::now() + std::chrono::milliseconds(timeoutMs)))
                    throw TKNFtpError("Sending to the server timed out");
                continue;
            }
            throw TKNFtpError(std::string("Could not send to the server: ") + std::strerror(errno));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void TKNFtpSocket::ShutdownSend()
{
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

long TKNFtpSocket::Receive(char* buffer, std::size_t size, int timeoutMs)
{
    if (fd_ < 0) throw TKNFtpError("Not connected");
    if (ssl_) {
        int result = 0;
        const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
        if (!RunTls([&] { return SSL_read(ssl_, buffer, chunk); }, timeoutMs, result)) return -1;
        return result;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!WaitReady(fd_, POLLIN, deadline)) return -1;
        ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
            throw TKNFtpError(std::string("Could not read from the server: ") + std::strerror(errno));
    }
}

bool TKNFtpSocket::ReadLine(std::string& line, int timeoutMs, std::size_t maxLength)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t scanned = 0;
    for (;;) {
        std::size_t lf = pending_.find('\n', scanned);
        if (lf != std::string::npos) {
            if (lf > maxLength) throw TKNFtpError("The server sent an over-long reply line");
            std::size_t end = (lf > 0 && pending_[lf - 1] == '\r') ? lf - 1 : lf;
            line.assign(pending_, 0, end);
            pending_.erase(0, lf + 1);
            return true;
        }
        if (pending_.size() > maxLength) throw TKNFtpError("The server sent an over-long reply line");
        scanned = pending_.size();
        char buffer[4096];
        long n = Receive(buffer, sizeof(buffer), RemainingMs(deadline));
        if (n < 0) return false;
        if (n == 0) throw TKNFtpError("The server closed the connection");
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace kn
