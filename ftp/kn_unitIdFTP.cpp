// The control connection of TKNIdFTP: connect and login, commands and reply reading. Data
// transfers are in kn_unitIdFTPTransfer.cpp.
#include "ftp/kn_unitIdFTP.h"

#include <cstdio>
#include <ctime>

#include "framework/vex_unitText.h"

namespace kn {

namespace {

constexpr std::size_t kMaxReplyLine = 16 * 1024;
constexpr std::size_t kMaxReplyLines = 10'000;

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

TKNIdFTP::~TKNIdFTP() { Disconnect(); }

void TKNIdFTP::Connect()
{
    Disconnect();
    if (Host.empty()) throw TKNFtpError("No FTP host name given");
    control_.ConnectHost(Host, Port, ConnectTimeout);
    try {
        TKNFtpReply greeting = ReadReply();
        if (greeting.Code == 120) greeting = ReadReply();  // "ready in nnn minutes"
        Expect(greeting, {220});
        Login();
        SendCmd(transferType_ == TKNFtpTransferType::ftASCII ? "TYPE A" : "TYPE I", {200});
        // Servers without SYST are still usable: its reply is only kept for information.
        TKNFtpReply syst = SendCmd("SYST", {215, 500, 501, 502, 504, 530});
        systemDesc_ = syst.Code == 215 ? syst.Text.substr(syst.Text.size() > 4 ? 4 : syst.Text.size()) : "";
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TKNIdFTP::Login()
{
    TKNFtpReply user = SendCmd("USER " + Username, {230, 331});
    if (user.Code == 331) SendCmd("PASS " + Password, {230, 202});
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

void TKNIdFTP::ChangeDir(const std::string& path) { SendCmd("CWD " + path, {200, 250}); }
void TKNIdFTP::MakeDir(const std::string& path) { SendCmd("MKD " + path, {250, 257}); }
void TKNIdFTP::RemoveDir(const std::string& path) { SendCmd("RMD " + path, {250}); }
void TKNIdFTP::Delete(const std::string& path) { SendCmd("DELE " + path, {200, 250}); }

bool TKNIdFTP::SetModTime(const std::string& path, int64_t unixSeconds)
{
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    TKNFtpReply reply = SendCmd(std::string("MFMT ") + stamp + " " + path, {213, 500, 502, 504});
    return reply.Code == 213;
}

TKNFtpReply TKNIdFTP::SendCmd(const std::string& command, std::initializer_list<int> accepted)
{
    SendLine(command);
    return Expect(ReadReply(), accepted);
}

void TKNIdFTP::SendLine(const std::string& command)
{
    // A CR or LF would end the command early and smuggle a second one onto the line.
    if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw TKNFtpError("The FTP command holds a line break or NUL character: " + command.substr(0, 80));
    if (!control_.IsOpen()) throw TKNFtpError("Not connected");
    std::string line = command + "\r\n";
    try {
        control_.SendAll(line.data(), line.size(), ReadTimeout);
    } catch (const TKNFtpError&) {
        control_.Close();
        throw;
    }
}

TKNFtpReply TKNIdFTP::ReadReply()
{
    if (!control_.IsOpen()) throw TKNFtpError("Not connected");
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
    if (!Accepts(accepted, reply.Code)) {
        std::string text = reply.Text.empty() ? "The FTP server sent an empty reply" : reply.Text;
        throw TKNFtpReplyError(reply.Code, text);
    }
    return reply;
}

}  // namespace kn
