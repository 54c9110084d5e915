// TKNIdFTP: the program's FTP client (RFC 959, client side, passive data connections only).
//
// Reply reading: every reply line is awaited for at most `ReadTimeout` ms. A multi-line reply
// ("220-Welcome" ... "220 Ready") is read until a line shorter than four characters or one
// whose first four characters equal the code and a blank, ignoring letter case. A reply whose
// code the command does not accept raises TKNFtpReplyError carrying the reply text. When no
// reply (or no end of a multi-line reply) comes in time the conversation is out of step, so
// the client raises TKNFtpReplyError with code 0 and closes the connection.
//
// Data connections: the client sends "PASV" and connects to the address the control
// connection is connected to, with the port of the reply. The address inside the reply is
// ignored, so a server cannot point the client at another host.
//
// Typical use (errors are TKNFtpError exceptions whose message is the text to show):
//   TKNIdFTP ftp;
//   OpenFtpLocation(ftp, "ftp://joe:pw@host:2121/pub");   // see kn_unitFtpLocation.h
//   ftp.OnWork = [&](int64_t done) { if (stop) ftp.Abort(); };
//   ftp.Put("/tmp/a.txt", "/pub/a.txt");
//   ftp.Disconnect();
// A connection is used by one thread at a time; only Abort may be called from another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpListing.h"
#include "ftp/kn_unitFtpSocket.h"

namespace kn {

enum class TKNFtpTransferType { ftASCII, ftBinary };

struct TKNFtpReply {
    int Code = 0;      // three-digit reply code; 0 when the reply did not start with one
    std::string Text;  // the reply's lines joined with "\n"
};

class TKNIdFTP {
public:
    // Connection settings, read by Connect.
    std::string Host;
    uint16_t Port = 21;
    std::string Username;
    std::string Password;
    // Time-outs in milliseconds: the whole connect (resolution included), and every reply
    // line, wait for data, or wait for the server to take data.
    int ConnectTimeout = 20000;
    int ReadTimeout = 10000;
    // Called on the transferring thread for every block of a data transfer (and once with 0
    // when the transfer starts) with the bytes moved so far in this transfer. It may call
    // Abort.
    std::function<void(int64_t bytesSoFar)> OnWork;

    TKNIdFTP() = default;
    ~TKNIdFTP();
    TKNIdFTP(const TKNIdFTP&) = delete;
    TKNIdFTP& operator=(const TKNIdFTP&) = delete;

    // Opens the control connection, reads the greeting and logs in: "USER", "PASS" (unless
    // the server needs none), "TYPE" of the current transfer type, "SYST".
    void Connect();
    // Sends "QUIT" without waiting for its reply and closes the control connection.
    void Disconnect();
    bool Connected() const { return control_.IsOpen(); }
    // The server's reply to "SYST", for information only.
    const std::string& SystemDesc() const { return systemDesc_; }

    // Binary by default. Sends "TYPE A"/"TYPE I" when connected and the type changes. In
    // ASCII, downloads turn CR LF into LF and uploads send LF as CR LF.
    void SetTransferType(TKNFtpTransferType type);
    TKNFtpTransferType TransferType() const { return transferType_; }

    void ChangeDir(const std::string& path);  // "CWD"
    void MakeDir(const std::string& path);    // "MKD"
    void RemoveDir(const std::string& path);  // "RMD"
    void Delete(const std::string& path);     // "DELE"
    // "MFMT": sets the server file's modification time (UTC seconds since 1970). Returns false
    // when the server does not know the command; raises on any other refusal.
    bool SetModTime(const std::string& path, int64_t unixSeconds);

    // "LIST" of the working directory, parsed into DirectoryListing (see kn_unitFtpListing.h:
    // unknown formats raise "Unknown FTP listing format"; unsafe names are dropped).
    void List();
    const std::vector<TKNFtpListItem>& DirectoryListing() const { return listing_; }

    // "RETR": creates or overwrites `localFile` (no resume). The local file is opened only
    // once the server has accepted the transfer; after a failed transfer it is removed.
    void Get(const std::string& remotePath, const std::string& localFile);
    // "RETR" that hands every block received to `sink` instead of storing it (the transfer
    // type applies unconverted); Abort ends it.
    void Retrieve(const std::string& remotePath, const std::function<void(const char*, std::size_t)>& sink);
    // "STOR": replaces `remotePath` with the content of `localFile`.
    void Put(const std::string& localFile, const std::string& remotePath);

    // Ends the running transfer: after the current block the client sends "ABOR", closes the
    // data connection and the transfer fails with "Transfer aborted". Safe from any thread;
    // without a running transfer the request is dropped when the next transfer starts.
    void Abort() { abortRequested_ = true; }

    // Sends one command and reads its reply; raises TKNFtpReplyError unless the code is one
    // of `accepted`. The building block of the operations above.
    TKNFtpReply SendCmd(const std::string& command, std::initializer_list<int> accepted);

private:
    using Sink = std::function<void(const char*, std::size_t)>;
    using Source = std::function<std::size_t(char*, std::size_t)>;

    void SendLine(const std::string& command);
    TKNFtpReply ReadReply();
    TKNFtpReply Expect(TKNFtpReply reply, std::initializer_list<int> accepted);
    void Login();
    void Receive(const std::string& command, const Sink& sink);
    void Send(const std::string& command, const Source& source);
    void OpenData(const std::string& command, TKNFtpSocket& data, bool& done);
    void ReadDataTo(TKNFtpSocket& data, const Sink& sink);
    void WriteDataFrom(TKNFtpSocket& data, const Source& source);
    void ReportWork(int64_t total);
    void AbortTransfer(TKNFtpSocket& data);

    TKNFtpSocket control_;
    std::string systemDesc_;
    TKNFtpTransferType transferType_ = TKNFtpTransferType::ftBinary;
    std::vector<TKNFtpListItem> listing_;
    std::atomic<bool> abortRequested_{false};
};

}  // namespace kn
