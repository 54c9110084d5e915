#include "tests/common/ftp_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace testutil {

namespace {

// Reads "PORT n" from the server's stdout, waiting at most 20 s for it to start.
int ReadPort(int fd)
{
    std::string text;
    while (text.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) throw std::runtime_error("FTP test server did not start");
        char buf[128];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) throw std::runtime_error("FTP test server exited at start (is python3-pyftpdlib installed?)");
        text.append(buf, static_cast<std::size_t>(n));
    }
    int port = 0;
    if (std::sscanf(text.c_str(), "PORT %d", &port) != 1 || port <= 0)
        throw std::runtime_error("FTP test server said: " + text);
    return port;
}

}  // namespace

FtpServer::FtpServer() : FtpServer(Options{}) {}

FtpServer::FtpServer(const Options& options) : options_(options) { Start(); }

void FtpServer::Start()
{
    std::vector<std::string> args = {"/usr/bin/python3", KESTRUNE_FTP_SERVER_SCRIPT, "--root", Root()};
    if (!options_.User.empty()) args.insert(args.end(), {"--user", options_.User, "--password", options_.Password});
    if (options_.Anonymous) args.push_back("--anonymous");
    if (options_.ShortDownloads) args.push_back("--short-downloads");
    if (options_.NoSize) args.push_back("--no-size");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    try {
        port_ = ReadPort(out[0]);
    } catch (...) {
        ::close(out[0]);
        Stop();
        throw;
    }
    ::close(out[0]);
}

FtpServer::~FtpServer() { Stop(); }

void FtpServer::Stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (stdinFd_ >= 0) ::close(stdinFd_);
    stdinFd_ = -1;
}

std::string FtpServer::Location(const std::string& path) const
{
    std::string credentials = options_.User.empty() ? "" : options_.User + ":" + options_.Password + "@";
    return "ftp://" + credentials + "127.0.0.1:" + std::to_string(port_) + path;
}

int FreeLoopbackPort()
{
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    ::bind(probe, reinterpret_cast<sockaddr*>(&addr), len);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(probe);
    return ntohs(addr.sin_port);
}

}  // namespace testutil
