// A TCP connection for the FTP client: name resolution with getaddrinfo, connects and reads
// bounded by time-outs, and line reading for the control connection. Blocking calls never
// wait longer than the time-out they are given.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;

namespace kn {

class TKNFtpSocket {
public:
    TKNFtpSocket() = default;
    ~TKNFtpSocket();
    TKNFtpSocket(const TKNFtpSocket&) = delete;
    TKNFtpSocket& operator=(const TKNFtpSocket&) = delete;

    // Resolves `host` and tries its addresses in turn until one connects; the whole attempt
    // ends after `timeoutMs`. Throws TKNFtpError with a message naming host and port.
    void ConnectHost(const std::string& host, uint16_t port, int timeoutMs);
    // Connects to the address of `peer` with its port replaced by `port`.
    void ConnectAddress(const sockaddr_storage& peer, uint16_t port, int timeoutMs);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // The address this socket is connected to.
    sockaddr_storage PeerAddress() const;

    // Sends all of `data`; throws on failure or when the peer takes nothing for `timeoutMs`.
    void SendAll(const char* data, std::size_t size, int timeoutMs);
    // Stops sending (the peer reads end of data) but keeps the socket for reading.
    void ShutdownSend();

    // Receives up to `size` bytes. Returns the count, 0 at the end of the stream, or -1 when
    // nothing arrived within `timeoutMs`. Throws on a socket error.
    long Receive(char* buffer, std::size_t size, int timeoutMs);

    // Starts TLS as the client over the open connection: `host` for the server name and the
    // certificate's name check, `reuse` a session to resume (the control connection's, for a
    // data connection) or null. Throws when the handshake fails or does not end in time.
    // Afterwards every read and write goes through TLS.
    void StartTls(ssl_ctx_st* ctx, const std::string& host, ssl_session_st* reuse, int timeoutMs);
    ssl_st* Tls() const { return ssl_; }
    // Sends the TLS close_notify (as far as the socket takes it at once).
    void EndTls();

    // Reads one line up to a line feed (without CR LF), waiting at most `timeoutMs` for the
    // whole line. Returns false when the line did not complete in time (bytes that did arrive
    // stay buffered). Throws TKNFtpError at the end of the stream or when the line grows past
    // `maxLength` bytes.
    bool ReadLine(std::string& line, int timeoutMs, std::size_t maxLength);

private:
    // Runs one OpenSSL call until it gets on (true), waiting as it asks; false when the
    // deadline passes first. `result` is the call's last return value.
    template <class Call>
    bool RunTls(Call call, int timeoutMs, int& result);

    int fd_ = -1;
    ssl_st* ssl_ = nullptr;
    std::string pending_;  // bytes received past the last line handed out
};

}  // namespace kn
