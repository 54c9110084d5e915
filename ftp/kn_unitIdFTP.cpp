// The control connection of TKNIdFTP: connect and login, commands and reply reading. Data
// transfers are in kn_unitIdFTPTransfer.cpp.
#include "ftp/kn_unitIdFTP.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "framework/vex_unitDateTime.h"
#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpMlsd.h"

namespace kn {

namespace {

constexpr std::size_t kMaxReplyLine = 16 * 1024;
constexpr std::size_t kMaxReplyLines = 10'000;

std::atomic<int64_t> sentCommands{0};
std::atomic<int64_t> exchanges{0};

// The three-digit code that opens a reply, or 0.
int ReplyCode(const std::string& line)
{
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9') return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool Accepts(std::initializer_list<int> accepted, int code)
{
    for (int a : accepted)
        if (a == code) return true;
    return false;
}

}  // namespace

TKNIdFTP::~TKNIdFTP()
{
    Disconnect();
}

void TKNIdFTP::OpenControl()
{
    Disconnect();
    if (Host.empty()) throw TKNFtpError("No FTP host name given");
    control_.ConnectHost(Host, Port, ConnectTimeout);
    Sent();
    Awaited();
    TKNFtpReply greeting = ReadReply();
    if (greeting.Code == 120) greeting = ReadReply();  // "ready in nnn minutes"
    Expect(greeting, {220});
}

void TKNIdFTP::StartControlTls()
{
    SendCmd("AUTH TLS", {234});
    // Data connections must resume the control connection's session on many servers (vsftpd's
    // require_ssl_reuse); with TLS 1.3 that depends on tickets the servers do not all send,
    // while a TLS 1.2 session resumes by its id.
    if (!tls_) {
        try {
            tls_ = std::make_unique<TKNTlsContext>(TLS1_2_VERSION);
        } catch (const std::runtime_error& e) {
            throw TKNFtpError(e.what());
        }
    }
    control_.StartTls(tls_->Get(), Host, nullptr, ReadTimeout);
}

void TKNIdFTP::CheckCertificate(const TKNTlsPeer& peer) const
{
    const std::string where = Host + ":" + std::to_string(Port);
    if (!TrustedFingerprint.empty()) {
        if (peer.Fingerprint == TrustedFingerprint) return;
        throw TKNFtpError("WARNING: the certificate of " + where +
                          " is not the one you trusted. It has the SHA-256 "
                          "fingerprint " +
                          peer.Fingerprint + "; you trusted " + TrustedFingerprint +
                          ". Someone may be posing as the server, so the connection is refused. If the server "
                          "has a new certificate, check its fingerprint with the server's operator, then trust it "
                          "again.");
    }
    if (peer.Trusted) return;
    throw TKNFtpUntrusted("The certificate of " + where + " is not trusted (" + peer.Problem +
                          "). Its SHA-256 fingerprint is " + peer.Fingerprint + ".");
}

TKNTlsPeer TKNIdFTP::FetchCertificate()
{
    try {
        OpenControl();
        StartControlTls();
    } catch (...) {
        Disconnect();
        throw;
    }
    TKNTlsPeer peer = InspectPeer(control_.Tls());
    Disconnect();
    return peer;
}

void TKNIdFTP::Connect()
{
    try {
        OpenControl();
        if (UseTls) {
            StartControlTls();
            const TKNTlsPeer peer = InspectPeer(control_.Tls());
            CheckCertificate(peer);
            controlFingerprint_ = peer.Fingerprint;
        }
        Login();
        // The rest of the setup waits on no reply: one round trip.
        std::vector<std::string> setup;
        if (UseTls) setup = {"PBSZ 0", "PROT P"};
        setup.push_back(transferType_ == TKNFtpTransferType::ftASCII ? "TYPE A" : "TYPE I");
        setup.push_back("SYST");
        setup.push_back("FEAT");
        const std::vector<TKNFtpReply> replies = SendBatch(setup);
        for (std::size_t i = 0; i + 2 < replies.size(); ++i) Expect(replies[i], {200});
        // Servers without SYST are still usable: its reply is only kept for information.
        const TKNFtpReply syst = Expect(replies[replies.size() - 2], {215, 500, 501, 502, 504, 530});
        systemDesc_ = syst.Code == 215 ? syst.Text.substr(syst.Text.size() > 4 ? 4 : syst.Text.size()) : "";
        ReadFeatures(replies.back());
    } catch (...) {
        Disconnect();
        throw;
    }
}

// Login comes after TLS, so the password never crosses the network in clear text on an ftps
// location.
void TKNIdFTP::Login()
{
    TKNFtpReply user = SendCmd("USER " + Username, {230, 331});
    if (user.Code == 331) SendCmd("PASS " + Password, {230, 202});
}

// A FEAT reply: "211-Features:", one feature per line (led by a blank), "211 End". A server
// that does not know FEAT offers nothing beyond the basic commands.
void TKNIdFTP::ReadFeatures(const TKNFtpReply& feat)
{
    features_.clear();
    mlstFacts_.clear();
    Expect(feat, {211, 500, 501, 502, 504, 530, 550});
    if (feat.Code != 211) return;
    std::size_t start = feat.Text.find('\n');
    while (start != std::string::npos) {
        std::size_t end = feat.Text.find('\n', start + 1);
        std::string line = feat.Text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        start = end;
        if (line.empty() || line[0] != ' ') continue;  // the closing "211 End"
        std::size_t from = line.find_first_not_of(' ');
        std::size_t to = line.find_first_of(" \r", from);
        if (from == std::string::npos) continue;
        features_.push_back(
            vex::UpperCaseAscii(std::string_view(line).substr(from, to == std::string::npos ? to : to - from)));
        if (features_.back() == "MLST" && to != std::string::npos)
            mlstFacts_ = line.substr(to + 1, line.find('\r', to + 1) - to - 1);
    }
    EnableModeFact();
}

// Listings show whether an entry is read-only through UNIX.mode; a server that offers the fact
// without listing it by default ("unix.mode" without "*") is asked for it along with the
// facts it lists already. A refusal leaves the listing as it was.
void TKNIdFTP::EnableModeFact()
{
    std::string wanted;
    bool offered = false;
    for (std::size_t start = 0; start < mlstFacts_.size();) {
        std::size_t end = std::min(mlstFacts_.find(';', start), mlstFacts_.size());
        std::string fact = mlstFacts_.substr(start, end - start);
        start = end + 1;
        if (fact.empty() || fact.back() != '*') {
            offered = offered || vex::UpperCaseAscii(fact) == "UNIX.MODE";
            continue;
        }
        fact.pop_back();
        if (vex::UpperCaseAscii(fact) == "UNIX.MODE") return;  // listed already
        wanted += fact + ";";
    }
    if (offered) SendCmd("OPTS MLST " + wanted + "UNIX.mode;", {200, 451, 500, 501, 502, 504});
}

bool TKNIdFTP::HasFeature(const std::string& feature) const
{
    const std::string wanted = vex::UpperCaseAscii(feature);
    for (const std::string& f : features_)
        if (f == wanted) return true;
    return false;
}

void TKNIdFTP::Disconnect()
{
    if (!control_.IsOpen()) return;
    try {
        SendLine("QUIT");
    } catch (const TKNFtpError&) {
        // The connection is going away in any case.
    }
    control_.Close();
}

void TKNIdFTP::SetTransferType(TKNFtpTransferType type)
{
    if (type == transferType_) return;
    if (Connected()) SendCmd(type == TKNFtpTransferType::ftASCII ? "TYPE A" : "TYPE I", {200});
    transferType_ = type;
}

void TKNIdFTP::ChangeDir(const std::string& path)
{
    SendCmd("CWD " + path, {200, 250});
}

std::string TKNIdFTP::EnterDir(const std::string& path)
{
    const std::vector<TKNFtpReply> told = SendBatch({"CWD " + path, "PWD"});
    Expect(told[0], {200, 250});
    // 257 "NAME" comment, a quote inside the name doubled (RFC 959).
    const std::string& text = told[1].Text;
    const std::size_t open = text.find('"');
    if (told[1].Code != 257 || open == std::string::npos) return {};
    std::string name;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
            name += '"';
            ++i;
        } else {
            return name;
        }
    }
    return {};
}
void TKNIdFTP::MakeDir(const std::string& path)
{
    SendCmd("MKD " + path, {250, 257});
}
void TKNIdFTP::RemoveDir(const std::string& path)
{
    SendCmd("RMD " + path, {250});
}
void TKNIdFTP::Delete(const std::string& path)
{
    SendCmd("DELE " + path, {200, 250});
}

namespace {

constexpr const char* kModTimeCommands[] = {"MFMT ", "SITE UTIME ", "MDTM "};

std::string ModTimeStamp(int64_t unixSeconds)
{
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return stamp;
}

}  // namespace

bool TKNIdFTP::SetModTime(const std::string& path, int64_t unixSeconds)
{
    const std::string stamp = ModTimeStamp(unixSeconds);
    // Each refusal as unknown ("500", "502", also "501"/"504" for a form the server reads
    // otherwise) moves on to the next command; remembered, so later files go straight there.
    for (; modTimeCommand_ < 3; ++modTimeCommand_) {
        TKNFtpReply reply =
            SendCmd(kModTimeCommands[modTimeCommand_] + stamp + " " + path, {200, 213, 250, 500, 501, 502, 504, 550});
        if (ModTimeSet(reply)) {
            modTimeWorked_ = true;
            return true;
        }
        // Only MFMT's "550" is about this file: servers refuse all of SITE with it, and MDTM
        // with two arguments looks for a file named by both.
        if (reply.Code == 550 && modTimeCommand_ == 0) Expect(reply, {});
    }
    return false;
}

std::string TKNIdFTP::ModTimeCommand(const std::string& path, int64_t unixSeconds) const
{
    if (!modTimeWorked_) return {};
    return kModTimeCommands[modTimeCommand_] + ModTimeStamp(unixSeconds) + " " + path;
}

bool TKNIdFTP::ModTimeSet(const TKNFtpReply& reply)
{
    return reply.Code == 200 || reply.Code == 213 || reply.Code == 250;
}

bool TKNIdFTP::ChangeMode(const std::string& path, int mode)
{
    char octal[16];
    std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode & 07777));
    TKNFtpReply reply = SendCmd("SITE CHMOD " + std::string(octal) + " " + path, {200, 250, 500, 502});
    return reply.Code == 200 || reply.Code == 250;
}

// The reply: "250-" line, the entry's facts and path led by a blank, "250 End".
int TKNIdFTP::UnixMode(const std::string& path)
{
    if (!HasFeature("MLST")) return -1;
    TKNFtpReply reply = SendCmd("MLST " + path, {250});
    std::size_t start = reply.Text.find("\n ");
    if (start == std::string::npos) return -1;
    std::size_t end = reply.Text.find('\n', start + 1);
    return MlsdUnixMode(
        std::string_view(reply.Text).substr(start + 2, end == std::string::npos ? end : end - start - 2));
}

void TKNIdFTP::ReadMlstReply(const TKNFtpReply& reply, TKNFtpListItem& item)
{
    const std::size_t start = reply.Text.find("\n ");
    const std::size_t end = start == std::string::npos ? start : reply.Text.find('\n', start + 1);
    bool skip = false;
    std::string line = start == std::string::npos
                           ? std::string()
                           : reply.Text.substr(start + 2, end == std::string::npos ? end : end - start - 2);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!ParseMlsdLine(line, vex::LocalOffsetNow(), item, skip))
        throw TKNFtpReplyError(250, "Unreadable MLST reply: " + reply.Text.substr(0, 200));
}

int64_t TKNIdFTP::ModTime(const std::string& path)
{
    return ModTimeOfReply(SendCmd("MDTM " + path, {213, 500, 501, 502, 550}));
}

int64_t TKNIdFTP::ModTimeOfReply(const TKNFtpReply& reply)
{
    int64_t unix = -1;
    if (reply.Code != 213 || reply.Text.size() < 4 || !ParseMlsdTime(std::string_view(reply.Text).substr(4), unix))
        return -1;
    return unix;
}

int64_t TKNIdFTP::SizeOfReply(const TKNFtpReply& reply)
{
    if (reply.Code == 500 || reply.Code == 502) return -1;
    if (reply.Code != 213) throw TKNFtpReplyError(reply.Code, reply.Text);
    const char* digits = reply.Text.c_str() + std::min<std::size_t>(4, reply.Text.size());
    char* end = nullptr;
    long long size = std::strtoll(digits, &end, 10);
    if (end == digits || size < 0) throw TKNFtpReplyError(213, "Unreadable size reply: " + reply.Text);
    return size;
}

void TKNIdFTP::Rename(const std::string& from, const std::string& to)
{
    const std::vector<TKNFtpReply> replies = SendBatch({"RNFR " + from, "RNTO " + to});
    Expect(replies[0], {350});
    Expect(replies[1], {250});
}

TKNFtpReply TKNIdFTP::SendCmd(const std::string& command, std::initializer_list<int> accepted)
{
    SendLine(command);
    return Expect(ReadReply(), accepted);
}

std::vector<TKNFtpReply> TKNIdFTP::SendBatch(const std::vector<std::string>& commands)
{
    return SendAhead(commands, commands.size());
}

std::vector<TKNFtpReply> TKNIdFTP::SendAhead(const std::vector<std::string>& commands, std::size_t read)
{
    std::string lines;
    for (const std::string& command : commands) lines += CommandLine(command);
    SendLines(lines);
    std::vector<TKNFtpReply> replies;
    for (std::size_t i = 0; i < read; ++i) {
        replies.push_back(ReadReply());
        if (replies.back().Code == 421) Expect(replies.back(), {});
    }
    return replies;
}

TKNFtpTraffic TKNIdFTP::TrafficSoFar()
{
    return {sentCommands.load(std::memory_order_relaxed), exchanges.load(std::memory_order_relaxed)};
}

void TKNIdFTP::Awaited()
{
    if (!sentSinceWait_) return;
    sentSinceWait_ = false;
    exchanges.fetch_add(1, std::memory_order_relaxed);
}

std::string TKNIdFTP::CommandLine(const std::string& command)
{
    // A CR or LF would end the command early and smuggle a second one onto the line.
    if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw TKNFtpError("The FTP command holds a line break or NUL character: " + command.substr(0, 80));
    return command + "\r\n";
}

void TKNIdFTP::SendLine(const std::string& command)
{
    SendLines(CommandLine(command));
}

void TKNIdFTP::SendLines(const std::string& lines)
{
    if (!control_.IsOpen()) throw TKNFtpError("Not connected");
    sentCommands.fetch_add(std::count(lines.begin(), lines.end(), '\n'), std::memory_order_relaxed);
    Sent();
    try {
        control_.SendAll(lines.data(), lines.size(), ReadTimeout);
    } catch (const TKNFtpError&) {
        control_.Close();
        throw;
    }
}

TKNFtpReply TKNIdFTP::ReadReply()
{
    if (!control_.IsOpen()) throw TKNFtpError("Not connected");
    Awaited();
    TKNFtpReply reply;
    std::string line;
    try {
        bool complete = control_.ReadLine(line, ReadTimeout, kMaxReplyLine);
        reply.Text = line;
        if (complete && line.size() > 3 && line[3] == '-') {
            const std::string terminator = line.substr(0, 3) + " ";
            for (std::size_t count = 1;; ++count) {
                if (count > kMaxReplyLines) throw TKNFtpError("The server's reply does not end");
                complete = control_.ReadLine(line, ReadTimeout, kMaxReplyLine);
                if (!complete) break;
                reply.Text += "\n" + line;
                if (line.size() < 4 || vex::SameTextAscii(line.substr(0, 4), terminator)) break;
            }
        }
        if (!complete) {
            control_.Close();
            throw TKNFtpReplyError(0, "The FTP server did not reply within " + std::to_string(ReadTimeout) + " ms");
        }
    } catch (const TKNFtpReplyError&) {
        throw;
    } catch (const TKNFtpError&) {
        control_.Close();
        throw;
    }
    reply.Code = ReplyCode(reply.Text);
    return reply;
}

TKNFtpReply TKNIdFTP::Expect(TKNFtpReply reply, std::initializer_list<int> accepted)
{
    // "421": the server is closing the control connection; nothing more will come on it.
    if (reply.Code == 421) control_.Close();
    if (!Accepts(accepted, reply.Code)) {
        std::string text = reply.Text.empty() ? "The FTP server sent an empty reply" : reply.Text;
        throw TKNFtpReplyError(reply.Code, text);
    }
    return reply;
}

}  // namespace kn
