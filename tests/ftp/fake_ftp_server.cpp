#include "tests/ftp/fake_ftp_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testutil {

namespace {

// A listening socket on 127.0.0.1 at a free port.
int Listen(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0)
        throw std::runtime_error("fake FTP server: cannot listen");
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

FakeFtpSession::~FakeFtpSession()
{
    if (dataListener_ >= 0) ::close(dataListener_);
}

void FakeFtpSession::Send(const std::string& raw)
{
    ::send(control_, raw.data(), raw.size(), MSG_NOSIGNAL);
}

std::string FakeFtpSession::ReadCommand()
{
    for (;;) {
        std::size_t lf = pending_.find("\r\n");
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf);
            pending_.erase(0, lf + 2);
            return line;
        }
        char buf[4096];
        if (!WaitReadable(control_, 5000)) return "";
        ssize_t n = ::recv(control_, buf, sizeof buf, 0);
        if (n <= 0) return "";
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}

void FakeFtpSession::Reply(const std::string& command, const std::string& reply)
{
    EXPECT_EQ(ReadCommand(), command);
    Send(reply + "\r\n");
}

void FakeFtpSession::Login(const std::string& features)
{
    Send("220 Fake ready\r\n");
    Reply("USER anonymous", "331 Password please");
    Reply("PASS anonymous@kestrune.invalid", "230 Logged in");
    Reply("TYPE I", "200 Binary");
    Reply("SYST", "215 UNIX Type: L8");
    Reply("FEAT", features);
}

void FakeFtpSession::Passive(bool refuseEpsv)
{
    int port = 0;
    if (dataListener_ >= 0) ::close(dataListener_);
    dataListener_ = Listen(port);
    std::string command = ReadCommand();
    if (command == "EPSV" && refuseEpsv) {
        Send("500 EPSV not understood\r\n");
        command = ReadCommand();
    }
    if (command == "EPSV") {
        Send("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n");
        return;
    }
    EXPECT_EQ(command, "PASV");
    Send("227 Entering Passive Mode (10,0,0,99," + std::to_string(port / 256) + "," + std::to_string(port % 256) +
         ")\r\n");
}

int FakeFtpSession::AcceptData()
{
    if (!WaitReadable(dataListener_, 5000)) throw std::runtime_error("fake FTP server: no data connection");
    return ::accept4(dataListener_, nullptr, nullptr, SOCK_CLOEXEC);
}

void FakeFtpSession::SendData(const std::string& bytes)
{
    int fd = AcceptData();
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::close(fd);
}

std::string FakeFtpSession::ReceiveData()
{
    int fd = AcceptData();
    std::string data;
    char buf[4096];
    ssize_t n;
    while (WaitReadable(fd, 5000) && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        data.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return data;
}

void FakeFtpSession::WaitForClose()
{
    char buf[256];
    while (WaitReadable(control_, 5000) && ::recv(control_, buf, sizeof buf, 0) > 0) {
    }
}

FakeFtpServer::FakeFtpServer(Script script)
{
    listener_ = Listen(port_);
    thread_ = std::thread([this, script = std::move(script)] { Run(script); });
}

FakeFtpServer::~FakeFtpServer()
{
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void FakeFtpServer::Run(Script script)
{
    while (!stop_) {
        if (!WaitReadable(listener_, 50)) continue;
        int control = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0) continue;
        try {
            FakeFtpSession session(control);
            script(session);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        ::close(control);
        return;
    }
}

std::string FakeFtpServer::Location(const std::string& path) const
{
    return "ftp://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace testutil
