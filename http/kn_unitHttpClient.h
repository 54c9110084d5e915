// A small HTTP/1.1 client on libcurl's multi interface, shared by every kind of side that speaks
// HTTP: one client per side, one thread of its own that moves every request in flight, kept-alive
// connections reused from one request to the next and several requests at once (one connection
// each, up to a limit), bodies streamed both ways with a bounded buffer.
//
// What it promises whatever the kind above it:
// - Redirects are never followed: a 3xx reply is handed up as it is (the kind refuses it), so
//   credentials never travel to another host.
// - TLS: a certificate the system's store verifies for the host passes; any other only when its
//   SHA-256 fingerprint is the one pinned for host:port (tls/kn_unitKnownServers.h). Both are
//   judged inside the handshake, so nothing (no credentials, no request) leaves before. A
//   refused certificate ends the request with fault Untrusted and its fingerprint.
// - Credentials are given to libcurl only (Basic, or a SigV4 signature), never put into a text
//   this layer shows.
// - The stop flag ends every request in flight with fault Stopped within a second.
//
// Errors: nothing throws; a request that got no reply ends with a fault and a message naming the
// server (never with credentials); an HTTP error status is a reply, for the kind to read.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kn {

// Where requests go and how the server proves who it is.
struct TKNHttpEndpoint {
    bool Tls = false;
    std::string Host;  // without brackets
    uint16_t Port = 0;
    bool HasUser = false;
    std::string User, Password;
    // "sha256:HEX" of the certificate the user trusted for host:port; empty for none.
    std::string Pinned;
    // Not empty: every request is signed with AWS Signature Version 4 by libcurl, this being its
    // provider, region and service ("aws:amz:us-east-1:s3"), User and Password the access key
    // and secret; the body is declared unsigned (each request carries
    // "x-amz-content-sha256: UNSIGNED-PAYLOAD"), so a streamed body need not be read twice.
    std::string Sigv4;

    // "host:port" ("[v6]:port"): how known_servers names the server.
    std::string ServerKey() const;
    // "http://host:port" or "https://host:port", for the requests' targets.
    std::string Origin() const;
};

enum class TKNHttpFault : uint8_t {
    None,
    Connection,  // no reply: the server cannot be reached, or the connection broke
    Untrusted,   // its certificate passes neither the system's trust nor the pin
    Changed,     // a certificate other than the pinned one, which fails the system's trust too
    Stopped,
};

struct TKNHttpRequest {
    std::string Method;
    std::string Target;                // the path, percent-encoded, beginning with "/"
    std::vector<std::string> Headers;  // "Name: value"
    std::string Body;                  // the whole body, unless Streamed
    bool Streamed = false;             // the body comes through TKNHttpExchange::Push
    int64_t BodySize = -1;             // of a streamed body: -1 unknown (sent chunked)
    bool StreamReply = false;          // the reply body is taken through TKNHttpExchange::Pull
    bool IgnoresStop = false;          // clean-up that must run even once the run stopped
};

// One request in flight and, once it ended, its reply. Shared by the caller and the client's
// thread; every member function may be called from the caller's thread.
class TKNHttpExchange {
public:
    ~TKNHttpExchange();

    // Hands the next bytes of a streamed body over; waits while too much waits to be sent.
    // False once the exchange ended (its reply came, or it failed).
    bool Push(const char* data, std::size_t size);
    // The streamed body is whole.
    void EndBody();
    // Ends a streamed body before its size: the rest is sent as zero bytes and the stop flag no
    // longer ends it, so the server ends the request itself (a server that writes the body in
    // place would otherwise still be writing after a cut connection).
    void EndEarly();
    // Up to `size` bytes of a streamed reply body: the count, 0 at its end (or once the
    // exchange failed: see Fault).
    int64_t Pull(char* buffer, std::size_t size);
    // Waits for the reply's end.
    void Wait();
    bool Done() const;
    // Ends the request at once (nothing more is sent); a done exchange stays as it is.
    void Cancel();

    // Valid once Done.
    long Status() const { return status_; }
    const std::string& Body() const { return body_; }
    // The first value of a reply header (name in any case), empty when absent.
    std::string Header(const std::string& name) const;
    TKNHttpFault Fault() const { return fault_; }
    const std::string& FaultText() const { return faultText_; }
    // The fingerprint the server showed ("sha256:HEX"), when the handshake judged one.
    const std::string& Fingerprint() const { return fingerprint_; }
    // The bytes of a streamed body the server took.
    int64_t Sent() const { return sent_; }

private:
    friend class TKNHttpClient;
    friend struct TKNHttpCallbacks;
    explicit TKNHttpExchange(class TKNHttpClient& client);

    TKNHttpClient& client_;
    TKNHttpRequest request_;
    void* easy_ = nullptr;  // CURL*, the client's thread's
    void* headerList_ = nullptr;
    std::size_t bodyAt_ = 0;
    std::string upload_, download_;  // streamed bytes waiting, each way
    bool bodyEnded_ = false, uploadPaused_ = false, downloadPaused_ = false, wake_ = false;
    bool cancelled_ = false, done_ = false, padded_ = false;
    int64_t sent_ = 0;
    long status_ = 0;
    std::vector<std::string> headers_;
    std::string body_;
    TKNHttpFault fault_ = TKNHttpFault::None;
    std::string faultText_, fingerprint_;
    std::unique_ptr<struct TKNHttpTlsJudge> judge_;
    char error_[256] = {};  // CURL_ERROR_SIZE
};

class TKNHttpClient {
public:
    // `stop` (may be null) is read by the client's thread; at most `connections` at once.
    TKNHttpClient(TKNHttpEndpoint endpoint, const std::atomic<bool>* stop, int connections);
    // Cancels what is in flight and ends the thread; in a forked process (where the thread is
    // not) it leaves everything as it is.
    ~TKNHttpClient();
    TKNHttpClient(const TKNHttpClient&) = delete;
    TKNHttpClient& operator=(const TKNHttpClient&) = delete;

    std::shared_ptr<TKNHttpExchange> Start(TKNHttpRequest request);
    // Start, then Wait.
    std::shared_ptr<TKNHttpExchange> Run(TKNHttpRequest request);
    // Waits until some exchange ended since `seen` (a count Ends() gave), or a second passed.
    void WaitForAnEnd(uint64_t seen);
    uint64_t Ends() const;

    const TKNHttpEndpoint& Endpoint() const { return endpoint_; }
    // The stop flag read from now on (a kept client serves the next run).
    void SetStop(const std::atomic<bool>* stop);
    // False in a process forked from the one that made the client: its thread is not there.
    bool Usable() const;

private:
    friend class TKNHttpExchange;
    friend struct TKNHttpCallbacks;
    struct TImpl;

    void Loop();
    void Wake();
    // Ends `ex` with libcurl's `result` (a CURLcode) and wakes its waiters; the client's thread.
    void Finish(TKNHttpExchange* ex, int result);

    TKNHttpEndpoint endpoint_;
    const std::atomic<bool>* stop_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    uint64_t ends_ = 0;
    int owner_ = 0;  // the process that made it
    std::unique_ptr<TImpl> impl_;
};

// The certificate of a TLS server, read without sending anything: its fingerprint, whether the
// system's store verifies it for the host, and why not. False with `error` when no handshake
// could be made.
struct TKNHttpCertificate {
    std::string Fingerprint;
    bool SystemTrusted = false;
    std::string Problem;
};
bool ReadHttpsCertificate(const TKNHttpEndpoint& endpoint, TKNHttpCertificate& certificate, std::string& error);

}  // namespace kn
