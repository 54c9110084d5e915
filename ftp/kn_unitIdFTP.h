// TKNIdFTP: the program's FTP client (RFC 959, client side, passive data connections only).
//
// Reply reading: every reply line is awaited for at most `ReadTimeout` ms. A multi-line reply
// ("220-Welcome" ... "220 Ready") is read until a line shorter than four characters or one
// whose first four characters equal the code and a blank, ignoring letter case. A reply whose
// code the command does not accept raises TKNFtpReplyError carrying the reply text. When no
// reply (or no end of a multi-line reply) comes in time the conversation is out of step, so
// the client raises TKNFtpReplyError with code 0 and closes the connection.
//
// Data connections: the client sends "EPSV" (or "PASV" once the server refused EPSV) and
// connects to the address the control connection is connected to, IPv4 or IPv6, with the port
// of the reply. An address inside a PASV reply is ignored, so a server cannot point the client
// at another host. Where FEAT names EPSV (or it worked once on the connection), EPSV and the
// transfer's command go out together, with the commands of a TKNFtpAhead before them: one round
// trip before the data connection, where the checks, EPSV and the command took one each.
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
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpListing.h"
#include "ftp/kn_unitFtpSocket.h"
#include "tls/kn_unitTls.h"

namespace kn {

enum class TKNFtpTransferType { ftASCII, ftBinary };

struct TKNFtpReply {
    int Code = 0;      // three-digit reply code; 0 when the reply did not start with one
    std::string Text;  // the reply's lines joined with "\n"
};

// Commands that go out in a transfer's batch ahead of it (a CWD, the SIZE of the file), and the
// judge of their replies, called once the data connection is up: false ends the transfer before
// a byte of it is used.
struct TKNFtpAhead {
    std::vector<std::string> Commands;
    std::function<bool(const std::vector<TKNFtpReply>& replies)> Judge;
};

// What the connections of this process sent: commands, and exchanges, the times a connection
// waited for the server's answer to what it had sent (a reply, the connect of a data connection,
// the end of the data it sent). Commands sent together cost one exchange. For tests and
// benchmarks.
struct TKNFtpTraffic {
    int64_t Commands = 0;
    int64_t Exchanges = 0;
};

class TKNIdFTP {
public:
    // Connection settings, read by Connect.
    std::string Host;
    uint16_t Port = 21;
    std::string Username;
    std::string Password;
    // Explicit TLS: "AUTH TLS" before the login, then "PBSZ 0" and "PROT P", and every data
    // connection in TLS, resuming the control connection's session; a data connection that
    // presents another certificate than the control connection fails the transfer, so nobody
    // on the way can feed or take a file's bytes. The server's certificate
    // must pass the system's trust and name the host, or else have the fingerprint
    // `TrustedFingerprint` ("sha256:HEX", as the user trusted it); a recorded fingerprint that
    // differs fails however the certificate looks.
    bool UseTls = false;
    std::string TrustedFingerprint;
    // The UTC offset (seconds east) of the times in the server's LIST lines, when the user named
    // it: they are then turned local as MLSD times are. Unset, LIST times are taken as local.
    // A LIST line that gives only a day is left as it is: hours would move it to another day.
    std::optional<int32_t> ListZone;
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

    // Bounds of every listing (lines, entries, line length).
    TKNFtpListLimits ListLimits;

    // Opens the control connection, reads the greeting and logs in: "USER", "PASS" (unless
    // the server needs none), then "TYPE" of the current transfer type, "SYST" and "FEAT" (once)
    // together.
    void Connect();
    // Sends "QUIT" without waiting for its reply and closes the control connection.
    void Disconnect();
    bool Connected() const { return control_.IsOpen(); }
    // Connects, asks for TLS and reads the server's certificate without judging it or logging
    // in, then disconnects: what the user is shown before trusting a server.
    TKNTlsPeer FetchCertificate();
    // The server's reply to "SYST", for information only.
    const std::string& SystemDesc() const { return systemDesc_; }
    // True when the server's FEAT reply names `feature` ("SIZE", "MLST", "MFMT"; any case).
    bool HasFeature(const std::string& feature) const;
    // True when the server answered FEAT with at least one feature.
    bool ToldFeatures() const { return !features_.empty(); }

    // Binary by default. Sends "TYPE A"/"TYPE I" when connected and the type changes. In
    // ASCII, downloads turn CR LF into LF and uploads send LF as CR LF.
    void SetTransferType(TKNFtpTransferType type);
    TKNFtpTransferType TransferType() const { return transferType_; }

    void ChangeDir(const std::string& path);  // "CWD"
    // "CWD" and "PWD" in one round trip: the folder the server entered, as its reply to PWD names
    // it (its canonical path, links resolved); empty where the server does not tell. Raises as
    // ChangeDir does when the folder cannot be entered.
    std::string EnterDir(const std::string& path);
    void MakeDir(const std::string& path);    // "MKD"
    void RemoveDir(const std::string& path);  // "RMD"
    void Delete(const std::string& path);     // "DELE"
    // Sets the server file's modification time (UTC seconds since 1970): "MFMT", or where the
    // server does not know it, "SITE UTIME" and the two-argument "MDTM" that some servers take.
    // Returns false when the server knows none of them; raises on any other refusal.
    bool SetModTime(const std::string& path, int64_t unixSeconds);
    // "SITE CHMOD": sets the permission bits of the server's `path` to `mode`. Returns false
    // when the server does not know the command (500, 502); raises on any other refusal.
    bool ChangeMode(const std::string& path, int mode);
    // "MLST" of one path where FEAT offers it: the entry's UNIX.mode, or -1 when the server
    // tells none (or offers no MLST). Raises on a refusal.
    int UnixMode(const std::string& path);
    // "MDTM": the file's modification time as UTC seconds, or -1 when the server does not
    // offer it or gives no readable time.
    int64_t ModTime(const std::string& path);
    // The time a reply to "MDTM" tells, as ModTime gives it (sent in a batch).
    static int64_t ModTimeOfReply(const TKNFtpReply& reply);
    // The size a reply to "SIZE" (in binary) tells of a file on the server, or -1 when the
    // server does not offer the command. Raises on any other refusal (a missing file, say).
    static int64_t SizeOfReply(const TKNFtpReply& reply);
    // "RNFR" and "RNTO" (sent together): renames `from` to `to`, replacing `to` where the
    // server allows it. A refused RNFR makes the server refuse the RNTO after it as well.
    void Rename(const std::string& from, const std::string& to);
    // The command SetModTime found to work on this connection for `path` and `unixSeconds`, to
    // send in a batch; empty before one worked. ModTimeSet tells whether its reply took it.
    std::string ModTimeCommand(const std::string& path, int64_t unixSeconds) const;
    static bool ModTimeSet(const TKNFtpReply& reply);

    // "MLSD" of the working directory where FEAT offers MLST (times exact, in UTC turned local
    // as a local scan does; see kn_unitFtpMlsd.h), else "LIST" (see kn_unitFtpListing.h:
    // unknown formats raise "Unknown FTP listing format"). Unsafe names are dropped either way.
    // `listOptions` ("-a") follow "LIST" where the server has no MLSD. A `folder` is entered
    // first (CWD, in the listing's batch; a refusal raises as ChangeDir's does).
    void List(const std::string& listOptions = {}, const std::string& folder = {});
    const std::vector<TKNFtpListItem>& DirectoryListing() const { return listing_; }
    // True when List uses MLSD on this connection.
    bool ListsWithMlsd() const { return HasFeature("MLST") && !mlsdRefused_; }
    // The entry of a "250" reply to "MLST" of one path (where FEAT offers MLST), read as an
    // MLSD line (times as List gives them); raises on a reply it cannot read.
    static void ReadMlstReply(const TKNFtpReply& reply, TKNFtpListItem& item);

    // "RETR": creates or overwrites `localFile` (no resume). The local file is opened only
    // once the server has accepted the transfer; after a failed transfer it is removed.
    // Returns the bytes received (before any ASCII conversion).
    int64_t Get(const std::string& remotePath, const std::string& localFile);
    // "STOR": replaces `remotePath` with the content of `localFile`. Returns the bytes of the
    // local file sent.
    int64_t Put(const std::string& localFile, const std::string& remotePath);
    // "RETR" that hands every block received to `sink` instead of storing it (the transfer
    // type applies unconverted); Abort ends it.
    void Retrieve(const std::string& remotePath, const std::function<void(const char*, std::size_t)>& sink);

    // A "RETR" read block by block by the caller: OpenRetrieve starts it, with the commands of
    // `ahead` in its batch (false when their judge refused: no transfer runs then); ReadRetrieve
    // hands out up to `size` bytes, 0 once the transfer ended and the server confirmed it.
    bool OpenRetrieve(const std::string& remotePath, const TKNFtpAhead& ahead = {});
    std::size_t ReadRetrieve(char* buffer, std::size_t size);
    // A "STOR" fed block by block: OpenStore starts it, WriteStore sends, FinishStore ends the
    // data and waits for the server's confirmation. The commands `after` go out once the server
    // has read the data to its end (it closed the data connection), before its confirmation is
    // read; their replies are returned, one each, refusals included. A failed transfer raises
    // after they were read.
    void OpenStore(const std::string& remotePath);
    void WriteStore(const char* data, std::size_t size);
    std::vector<TKNFtpReply> FinishStore(const std::vector<std::string>& after = {});
    // Ends a transfer of OpenRetrieve or OpenStore that was not finished ("ABOR"); nothing
    // without one. A failing call of either kind has ended its transfer already.
    void CloseStream();

    // Ends the running transfer: after the current block the client sends "ABOR", closes the
    // data connection and the transfer fails with "Transfer aborted". Safe from any thread;
    // without a running transfer the request is dropped when the next transfer starts.
    void Abort() { abortRequested_ = true; }

    // Sends one command and reads its reply; raises TKNFtpReplyError unless the code is one
    // of `accepted`. The building block of the operations above.
    TKNFtpReply SendCmd(const std::string& command, std::initializer_list<int> accepted);
    // Sends `commands` at once and reads their replies in order, every reply as it came (a
    // refusal included): one round trip for commands whose sending does not wait on the
    // replies before them. Raises like SendCmd on a lost connection, a late reply or a 421.
    std::vector<TKNFtpReply> SendBatch(const std::vector<std::string>& commands);

    static TKNFtpTraffic TrafficSoFar();

private:
    using Sink = std::function<void(const char*, std::size_t)>;
    using Source = std::function<std::size_t(char*, std::size_t)>;

    void SendLine(const std::string& command);
    void SendLines(const std::string& lines);
    // Sends `commands` at once and reads the replies of the first `read` of them.
    std::vector<TKNFtpReply> SendAhead(const std::vector<std::string>& commands, std::size_t read);
    // Counts traffic: something went to the server; the client waits for its answer.
    void Sent() { sentSinceWait_ = true; }
    void Awaited();
    static std::string CommandLine(const std::string& command);
    TKNFtpReply ReadReply();
    TKNFtpReply Expect(TKNFtpReply reply, std::initializer_list<int> accepted);
    void Login();
    void ReadFeatures(const TKNFtpReply& feat);
    void EnableModeFact();
    void OpenControl();  // connects and reads the greeting
    void StartControlTls();
    void CheckCertificate(const TKNTlsPeer& peer) const;
    void Receive(const std::string& command, const Sink& sink, const TKNFtpAhead& ahead = {});
    void Send(const std::string& command, const Source& source);
    // False when the judge of `ahead` refused (the transfer is ended, nothing is open).
    bool OpenData(const std::string& command, TKNFtpSocket& data, bool& done, const TKNFtpAhead& ahead = {});
    uint16_t PassiveReply(const TKNFtpReply& reply);
    void EndUnused(TKNFtpSocket& data, bool sent);
    void StartDataTls(TKNFtpSocket& data);
    void ReadDataTo(TKNFtpSocket& data, const Sink& sink);
    // One block of a download, waiting in short slices; 0 at its end.
    std::size_t ReadBlock(TKNFtpSocket& data, char* buffer, std::size_t size, int64_t total);
    std::vector<TKNFtpReply> EndData(TKNFtpSocket& data, bool done, const std::vector<std::string>& after = {});
    bool OpenStream(const std::string& command, const TKNFtpAhead& ahead = {});
    void WriteDataFrom(TKNFtpSocket& data, const Source& source);
    void ReportWork(int64_t total);
    void AbortTransfer(TKNFtpSocket& data);

    TKNFtpSocket control_;
    std::unique_ptr<TKNTlsContext> tls_;
    std::string controlFingerprint_;  // the certificate the control connection presented
    std::string systemDesc_;
    std::vector<std::string> features_;  // first word of every FEAT line, upper case
    std::string mlstFacts_;              // the facts FEAT's MLST line offers ("type*;size*;...")
    bool mlsdRefused_ = false;           // MLSD offered, but refused as unknown
    bool epsvRefused_ = false;           // the server knows no EPSV: PASV from then on
    bool epsvWorked_ = false;            // EPSV worked: it goes out with the transfer's command
    bool sentSinceWait_ = false;         // sent something since the client last waited
    int modTimeCommand_ = 0;             // the first SetModTime command not refused as unknown
    bool modTimeWorked_ = false;         // that command set a time on this connection
    TKNFtpTransferType transferType_ = TKNFtpTransferType::ftBinary;
    std::vector<TKNFtpListItem> listing_;
    std::atomic<bool> abortRequested_{false};
    // The transfer that OpenRetrieve or OpenStore started, with its byte count and whether the
    // server already confirmed it.
    std::unique_ptr<TKNFtpSocket> stream_;
    int64_t streamed_ = 0;
    bool streamDone_ = false;
};

}  // namespace kn
