// A scripted FTP server for what a real server will not do on request: odd greetings,
// silence, garbage, replies split across reads, DOS listings. It accepts one client on
// 127.0.0.1 and runs the test's script for it on its own thread.
//
//   FakeFtpServer server([](FakeFtpSession& s) {
//       s.Send("220-Welcome\r\n220 Ready\r\n");
//       s.Reply("USER anonymous", "230 Hi");
//       ...
//   });
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testutil {

class FakeFtpSession {
public:
    explicit FakeFtpSession(int control) : control_(control) {}
    ~FakeFtpSession();

    // Raw bytes on the control connection.
    void Send(const std::string& raw);
    // The next command line without CR LF; empty when the client closed or 5 s passed.
    std::string ReadCommand();
    // Reads a command, checks it equals `command`, and answers `reply` + CR LF.
    void Reply(const std::string& command, const std::string& reply);
    // Greeting and the login a TKNIdFTP sends for anonymous: USER, PASS, TYPE I, SYST, and
    // FEAT, answered with `features` (by default: a server that knows no FEAT).
    void Login(const std::string& features = "502 FEAT not implemented");
    // Answers the next command with the port of a fresh local data listener: "EPSV" with an
    // extended passive reply, "PASV" with one naming the foreign address 10.0.0.99. With
    // `refuseEpsv`, an "EPSV" is refused first and "PASV" must follow.
    void Passive(bool refuseEpsv = false);
    // Accepts the data connection, sends `bytes` and closes it.
    void SendData(const std::string& bytes);
    // Accepts the data connection and reads it to its end.
    std::string ReceiveData();
    // Accepts the data connection and hands it over (the script closes it).
    int AcceptData();
    // Waits until the client closes the control connection (at most 5 s).
    void WaitForClose();

private:
    int control_;
    int dataListener_ = -1;
    std::string pending_;
};

class FakeFtpServer {
public:
    using Script = std::function<void(FakeFtpSession&)>;
    explicit FakeFtpServer(Script script);
    ~FakeFtpServer();
    FakeFtpServer(const FakeFtpServer&) = delete;
    FakeFtpServer& operator=(const FakeFtpServer&) = delete;

    int Port() const { return port_; }
    std::string Location(const std::string& path = "") const;

private:
    void Run(Script script);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace testutil
