// Data transfers of TKNIdFTP: passive data connections, LIST, RETR, STOR, work events and
// abort.
#include <fcntl.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/vex_unitDateTime.h"
#include "ftp/kn_unitIdFTP.h"

namespace kn {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply. The four address
// numbers are checked for form only: the data connection always goes to the control peer.
uint16_t PassivePort(const std::string& text)
{
    for (std::size_t i = 4; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || (text[i - 1] >= '0' && text[i - 1] <= '9')) continue;
        unsigned v[6];
        int used = 0;
        if (std::sscanf(text.c_str() + i, "%u,%u,%u,%u,%u,%u%n", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &used) != 6)
            continue;
        bool bytes = true;
        for (unsigned x : v) bytes = bytes && x <= 255;
        unsigned port = v[4] * 256 + v[5];
        if (bytes && port != 0) return static_cast<uint16_t>(port);
    }
    throw TKNFtpError("The FTP server sent an unreadable passive mode reply: " + text);
}

// The port of a "229 Entering Extended Passive Mode (|||port|)" reply (RFC 2428); the
// delimiter is whatever character follows the "(".
uint16_t ExtendedPassivePort(const std::string& text)
{
    std::size_t open = text.find('(');
    if (open != std::string::npos && open + 4 < text.size()) {
        const char d = text[open + 1];
        unsigned port = 0;
        char close = 0, paren = 0;
        if (text[open + 2] == d && text[open + 3] == d &&
            std::sscanf(text.c_str() + open + 4, "%u%c%c", &port, &close, &paren) == 3 && close == d && paren == ')' &&
            port > 0 && port <= 65535)
            return static_cast<uint16_t>(port);
    }
    throw TKNFtpError("The FTP server sent an unreadable extended passive mode reply: " + text);
}

// Turns CR LF into LF across block boundaries (ASCII downloads).
class AsciiToLocal {
public:
    std::string Convert(const char* data, std::size_t size)
    {
        std::string out;
        out.reserve(size + 1);
        if (heldCR_ && (size == 0 || data[0] != '\n')) out += '\r';
        heldCR_ = false;
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == '\r' && i + 1 == size) {
                heldCR_ = true;
            } else if (!(data[i] == '\r' && data[i + 1] == '\n')) {
                out += data[i];
            }
        }
        return out;
    }
    std::string Flush() { return heldCR_ ? std::string("\r") : std::string(); }

private:
    bool heldCR_ = false;
};

class LocalFile {
public:
    LocalFile(const std::string& path, int flags) : path_(path), fd_(::open(path.c_str(), flags | O_CLOEXEC, 0644))
    {
        if (fd_ < 0) throw TKNFtpError("Cannot open local file \"" + path + "\": " + std::strerror(errno));
    }
    ~LocalFile()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    void Write(const char* data, std::size_t size)
    {
        while (size > 0) {
            ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw TKNFtpError("Cannot write local file \"" + path_ + "\": " + std::strerror(errno));
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    std::size_t Read(char* buffer, std::size_t size)
    {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) throw TKNFtpError("Cannot read local file \"" + path_ + "\": " + std::strerror(errno));
        }
    }
    void CloseChecked()
    {
        int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0) throw TKNFtpError("Cannot write local file \"" + path_ + "\": " + std::strerror(errno));
    }

private:
    std::string path_;
    int fd_;
};

}  // namespace

void TKNIdFTP::List(const std::string& listOptions, const std::string& folder)
{
    listing_.clear();
    const bool mlsd = ListsWithMlsd();
    TKNFtpListingParser parser(vex::Today(), ListLimits);
    if (mlsd)
        parser.ReadMlsd(vex::LocalOffsetNow());
    else if (ListZone)
        parser.ShiftListTimes(vex::LocalOffsetNow() - *ListZone);
    TKNFtpAhead ahead;
    if (!folder.empty()) {
        ahead.Commands = {"CWD " + folder};
        ahead.Judge = [this](const std::vector<TKNFtpReply>& replies) {
            Expect(replies[0], {200, 250});
            return true;
        };
    }
    try {
        Receive(
            mlsd                  ? "MLSD"
            : listOptions.empty() ? "LIST"
                                  : "LIST " + listOptions,
            [&](const char* data, std::size_t size) { parser.Feed(std::string_view(data, size)); }, ahead);
    } catch (const TKNFtpReplyError& e) {
        // A server whose FEAT offers MLST but that does not know MLSD after all (the folder was
        // entered: a refused CWD raises with its own code).
        if (!mlsd || !Connected() || (e.Code != 500 && e.Code != 502)) throw;
        mlsdRefused_ = true;
        return List(listOptions);
    }
    listing_ = parser.Finish();
}

int64_t TKNIdFTP::Get(const std::string& remotePath, const std::string& localFile)
{
    std::unique_ptr<LocalFile> file;
    int64_t received = 0;
    AsciiToLocal ascii;
    const bool convert = transferType_ == TKNFtpTransferType::ftASCII;
    try {
        Receive("RETR " + remotePath, [&](const char* data, std::size_t size) {
            if (!file) file = std::make_unique<LocalFile>(localFile, O_WRONLY | O_CREAT | O_TRUNC);
            if (size == 0) return;  // opening call: the server has accepted the transfer
            received += static_cast<int64_t>(size);
            if (!convert) return file->Write(data, size);
            std::string text = ascii.Convert(data, size);
            file->Write(text.data(), text.size());
        });
        std::string rest = ascii.Flush();
        file->Write(rest.data(), rest.size());
        file->CloseChecked();
    } catch (...) {
        if (file) {
            file.reset();
            ::unlink(localFile.c_str());
        }
        throw;
    }
    return received;
}

void TKNIdFTP::Retrieve(const std::string& remotePath, const std::function<void(const char*, std::size_t)>& sink)
{
    Receive("RETR " + remotePath, [&](const char* data, std::size_t size) {
        if (size > 0) sink(data, size);
    });
}

int64_t TKNIdFTP::Put(const std::string& localFile, const std::string& remotePath)
{
    LocalFile file(localFile, O_RDONLY);
    const bool convert = transferType_ == TKNFtpTransferType::ftASCII;
    int64_t sent = 0;       // bytes of the local file
    std::string converted;  // ASCII: bytes of the last local block still to hand out
    std::size_t offset = 0;
    Send("STOR " + remotePath, [&](char* buffer, std::size_t size) -> std::size_t {
        if (!convert) {
            std::size_t n = file.Read(buffer, size);
            sent += static_cast<int64_t>(n);
            return n;
        }
        if (offset == converted.size()) {
            std::vector<char> raw(size / 2);
            std::size_t n = file.Read(raw.data(), raw.size());
            sent += static_cast<int64_t>(n);
            converted.clear();
            offset = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (raw[i] == '\n') converted += '\r';
                converted += raw[i];
            }
        }
        std::size_t n = std::min(size, converted.size() - offset);
        std::memcpy(buffer, converted.data() + offset, n);
        offset += n;
        return n;
    });
    return sent;
}

// The port of the reply to EPSV or PASV; 0 once EPSV turns out to be refused (PASV then
// follows, now and for every later transfer).
uint16_t TKNIdFTP::PassiveReply(const TKNFtpReply& reply)
{
    if (epsvRefused_) return PassivePort(Expect(reply, {227}).Text);
    if (Expect(reply, {229, 500, 501, 502}).Code == 229) {
        epsvWorked_ = true;
        return ExtendedPassivePort(reply.Text);
    }
    epsvRefused_ = true;
    return 0;
}

// Sets up a passive data connection and sends `command` on it, with the commands of `ahead`
// before the passive mode command in one batch. `done` tells whether the server already
// reported the transfer complete (some servers answer an empty transfer with its final reply at
// once). Once EPSV is known to work the command goes in the batch as well; a server that does not
// know EPSV would take it without a data connection.
bool TKNIdFTP::OpenData(const std::string& command, TKNFtpSocket& data, bool& done, const TKNFtpAhead& ahead)
{
    abortRequested_ = false;
    const bool together = !epsvRefused_ && (epsvWorked_ || HasFeature("EPSV"));
    std::vector<std::string> batch = ahead.Commands;
    batch.push_back(epsvRefused_ ? "PASV" : "EPSV");
    if (together) batch.push_back(command);
    std::vector<TKNFtpReply> told = SendAhead(batch, ahead.Commands.size() + 1);
    const TKNFtpReply passive = told.back();
    told.pop_back();
    uint16_t port = 0;
    try {
        port = PassiveReply(passive);
    } catch (...) {
        if (together && Connected()) ReadReply();  // the command's refusal, without a data connection
        throw;
    }
    bool sent = together;
    if (port == 0) {
        // EPSV refused after all: the command, sent along, was refused for want of a data
        // connection (a server that started it anyway ends it in a second reply).
        if (together && ReadReply().Code / 100 == 1) ReadReply();
        sent = false;
        port = PassivePort(SendCmd("PASV", {227}).Text);
    }
    std::string unreachable;  // why the data connection failed, once the command went out
    try {
        data.ConnectAddress(control_.PeerAddress(), port, ConnectTimeout);
    } catch (const TKNFtpError& e) {
        if (!sent) throw;
        unreachable = e.what();
    }
    Sent();
    Awaited();
    bool go = true;
    try {
        go = !ahead.Judge || ahead.Judge(told);
    } catch (...) {
        EndUnused(data, sent);
        throw;
    }
    if (!go) {
        EndUnused(data, sent);
        return false;
    }
    if (!sent) SendLine(command);
    const TKNFtpReply start = ReadReply();
    if (!unreachable.empty()) {
        // A server that refuses the command may close its port before the client connects
        // (proftpd): its reply tells why. One that took it is brought back in step.
        if (start.Code >= 400) Expect(start, {});
        AbortTransfer(data);
        throw TKNFtpError(unreachable);
    }
    Expect(start, {125, 150, 226, 250});
    done = start.Code == 226 || start.Code == 250;
    return true;
}

// A data connection the judge of the commands ahead refused: a command sent for it is ended.
void TKNIdFTP::EndUnused(TKNFtpSocket& data, bool sent)
{
    if (sent)
        AbortTransfer(data);
    else
        data.Close();
}

// The server begins its side of the handshake once it has taken the command; servers that
// insist on it see the control connection's session resumed. A resumed session carries the
// control connection's certificate; a fresh handshake must show that same certificate.
void TKNIdFTP::StartDataTls(TKNFtpSocket& data)
{
    if (!UseTls) return;
    SSL_SESSION* session = SSL_get1_session(control_.Tls());
    try {
        data.StartTls(tls_->Get(), Host, session, ReadTimeout);
    } catch (...) {
        SSL_SESSION_free(session);
        throw;
    }
    SSL_SESSION_free(session);
    const std::string shown = InspectPeer(data.Tls()).Fingerprint;
    if (shown != controlFingerprint_)
        throw TKNFtpError("The data connection of " + Host + ":" + std::to_string(Port) +
                          " presented another certificate (SHA-256 fingerprint " + (shown.empty() ? "none" : shown) +
                          ") than the control connection (" + controlFingerprint_ +
                          "); the transfer is refused, since someone may be posing as the server.");
}

void TKNIdFTP::Receive(const std::string& command, const Sink& sink, const TKNFtpAhead& ahead)
{
    TKNFtpSocket data;
    bool done = false;
    if (!OpenData(command, data, done, ahead)) return;  // its judge refused: nothing comes
    try {
        if (!done) StartDataTls(data);
        sink(nullptr, 0);
        ReadDataTo(data, sink);
    } catch (...) {
        AbortTransfer(data);
        throw;
    }
    data.Close();
    if (!done) Expect(ReadReply(), {226, 250});
}

bool TKNIdFTP::OpenRetrieve(const std::string& remotePath, const TKNFtpAhead& ahead)
{
    return OpenStream("RETR " + remotePath, ahead);
}

bool TKNIdFTP::OpenStream(const std::string& command, const TKNFtpAhead& ahead)
{
    CloseStream();
    stream_ = std::make_unique<TKNFtpSocket>();
    streamed_ = 0;
    try {
        if (!OpenData(command, *stream_, streamDone_, ahead)) {
            stream_.reset();
            return false;
        }
    } catch (...) {
        stream_.reset();  // refused: no transfer to end
        throw;
    }
    try {
        if (!streamDone_) StartDataTls(*stream_);
        ReportWork(0);
    } catch (...) {
        CloseStream();
        throw;
    }
    return true;
}

std::size_t TKNIdFTP::ReadRetrieve(char* buffer, std::size_t size)
{
    if (!stream_) return 0;
    std::size_t n = 0;
    try {
        n = ReadBlock(*stream_, buffer, size, streamed_);
    } catch (...) {
        CloseStream();
        throw;
    }
    streamed_ += static_cast<int64_t>(n);
    if (n > 0) return n;
    std::unique_ptr<TKNFtpSocket> data = std::move(stream_);
    data->Close();
    if (!streamDone_) Expect(ReadReply(), {226, 250});
    return 0;
}

void TKNIdFTP::CloseStream()
{
    if (!stream_) return;
    std::unique_ptr<TKNFtpSocket> data = std::move(stream_);
    AbortTransfer(*data);
}

void TKNIdFTP::OpenStore(const std::string& remotePath)
{
    OpenStream("STOR " + remotePath);
}

void TKNIdFTP::WriteStore(const char* data, std::size_t size)
{
    if (!stream_) throw TKNFtpError("No upload is running");
    try {
        Sent();
        stream_->SendAll(data, size, ReadTimeout);
        streamed_ += static_cast<int64_t>(size);
        ReportWork(streamed_);
    } catch (...) {
        CloseStream();
        throw;
    }
}

std::vector<TKNFtpReply> TKNIdFTP::FinishStore(const std::vector<std::string>& after)
{
    if (!stream_) throw TKNFtpError("No upload is running");
    std::unique_ptr<TKNFtpSocket> data = std::move(stream_);
    return EndData(*data, streamDone_, after);
}

void TKNIdFTP::Send(const std::string& command, const Source& source)
{
    TKNFtpSocket data;
    bool done = false;
    OpenData(command, data, done);
    try {
        if (!done) StartDataTls(data);
        WriteDataFrom(data, source);
    } catch (...) {
        AbortTransfer(data);
        throw;
    }
    EndData(data, done);
}

// Ends the data of an upload and reads the server's confirmation (unless `done` already). The
// server has the whole file once it closed its end: `after` goes out then, before the
// confirmation is read, and its replies are read even when the confirmation is a refusal, so
// that the conversation stays in step.
std::vector<TKNFtpReply> TKNIdFTP::EndData(TKNFtpSocket& data, bool done, const std::vector<std::string>& after)
{
    // Closing with the server's reply to the shutdown unread would reset the connection, and a
    // reset may drop the last bytes before the server read them: wait for its end first. A data
    // connection that fails here (a server that resets it) still leaves the transfer's reply to
    // come on the control connection: it is ended as an abort is, so that the next command
    // does not read that reply as its own.
    try {
        data.EndTls();
        data.ShutdownSend();
        Sent();
        char rest[512];
        while (data.Receive(rest, sizeof rest, ReadTimeout) > 0) {
        }
    } catch (const TKNFtpError&) {
        if (!done) AbortTransfer(data);
        throw;
    }
    Awaited();
    data.Close();
    if (after.empty()) {
        if (!done) Expect(ReadReply(), {226, 250});
        return {};
    }
    if (done) return SendBatch(after);
    // The confirmation comes first, then the replies to `after`.
    std::vector<TKNFtpReply> replies = SendAhead(after, after.size() + 1);
    const TKNFtpReply end = replies.front();
    replies.erase(replies.begin());
    Expect(end, {226, 250});
    return replies;
}

// Waits for data in short slices and reports work after each, so that a stop request ends a
// transfer whose server has gone quiet within a fraction of a second.
void TKNIdFTP::ReadDataTo(TKNFtpSocket& data, const Sink& sink)
{
    std::vector<char> buffer(kBlockSize);
    int64_t total = 0;
    ReportWork(0);
    for (;;) {
        const std::size_t n = ReadBlock(data, buffer.data(), buffer.size(), total);
        if (n == 0) return;
        sink(buffer.data(), n);
        total += static_cast<int64_t>(n);
    }
}

std::size_t TKNIdFTP::ReadBlock(TKNFtpSocket& data, char* buffer, std::size_t size, int64_t total)
{
    constexpr int kSliceMs = 200;
    for (int waited = 0;;) {
        const int slice = std::max(1, std::min(kSliceMs, ReadTimeout - waited));
        const long n = data.Receive(buffer, size, slice);
        Awaited();
        if (n >= 0) {
            if (n > 0) ReportWork(total + n);
            return static_cast<std::size_t>(n);
        }
        waited += slice;
        if (waited >= ReadTimeout) throw TKNFtpError("The FTP data connection timed out");
        ReportWork(total);
    }
}

void TKNIdFTP::WriteDataFrom(TKNFtpSocket& data, const Source& source)
{
    std::vector<char> buffer(kBlockSize);
    int64_t total = 0;
    ReportWork(0);
    for (;;) {
        std::size_t n = source(buffer.data(), buffer.size());
        if (n == 0) return;
        Sent();
        data.SendAll(buffer.data(), n, ReadTimeout);
        total += static_cast<int64_t>(n);
        ReportWork(total);
    }
}

void TKNIdFTP::ReportWork(int64_t total)
{
    if (OnWork) OnWork(total);
    if (abortRequested_) throw TKNFtpError("Transfer aborted");
}

// Ends a transfer that is cut short: "ABOR", close the data connection, then bring the
// conversation back in step. The server answers the transfer and the ABOR with one or two
// replies depending on timing, so a "NOOP" is sent and replies are read up to its "200".
// A server that does not follow is disconnected.
void TKNIdFTP::AbortTransfer(TKNFtpSocket& data)
{
    abortRequested_ = false;
    if (!Connected()) return;
    try {
        SendLine("ABOR");
        data.Close();
        SendLine("NOOP");
        for (int i = 0; i < 6; ++i)
            if (ReadReply().Code == 200) return;
    } catch (const TKNFtpError&) {
        // Falls through to the disconnect below.
    }
    Disconnect();
}

}  // namespace kn
