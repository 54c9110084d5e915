#include "tests/common/sshd_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/common/ftp_server.h"

namespace testutil {

namespace {

void Run(const std::string& command)
{
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string Output(const std::string& command)
{
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, pipe)) text += buf;
        ::pclose(pipe);
    }
    return text;
}

// The processes whose parent is `pid`, read from /proc.
std::vector<pid_t> Children(pid_t pid)
{
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    while (dirent* d = ::readdir(proc)) {
        pid_t candidate = static_cast<pid_t>(std::atoi(d->d_name));
        if (candidate <= 0) continue;
        std::ifstream stat("/proc/" + std::string(d->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == pid) found.push_back(candidate);
    }
    ::closedir(proc);
    return found;
}

void KillTree(pid_t pid)
{
    for (pid_t child : Children(pid)) KillTree(child);
    ::kill(pid, SIGKILL);
}

std::string HostKeyLine(const std::string& publicKeyFile, int port)
{
    std::ifstream in(publicKeyFile);
    std::string type, key;
    in >> type >> key;
    return "[127.0.0.1]:" + std::to_string(port) + " " + type + " " + key + "\n";
}

}  // namespace

SshServer::SshServer() : SshServer(Options{}) {}

SshServer::SshServer(const Options& options) : options_(options)
{
    const passwd* pw = ::getpwuid(::getuid());
    user_ = pw ? pw->pw_name : "root";
    if (const char* home = std::getenv("HOME")) {
        hadHome_ = true;
        oldHome_ = home;
    }
    if (const char* agent = std::getenv("SSH_AUTH_SOCK")) {
        hadAgent_ = true;
        oldAgent_ = agent;
    }
    ::setenv("HOME", home_.path().c_str(), 1);
    ::unsetenv("SSH_AUTH_SOCK");
    Start();
}

std::string SshServer::WrappedServer(const std::string& flags)
{
    return "/usr/bin/python3 " KESTRUNE_SFTP_WRAPPER_SCRIPT " " + flags + " -- /usr/lib/openssh/sftp-server";
}

std::string SshServer::SubsystemLine() const
{
    if (!options_.Subsystem.empty()) return options_.Subsystem;
    return "internal-sftp" + (options_.DeniedRequests.empty() ? std::string() : " -P " + options_.DeniedRequests);
}

void SshServer::Start()
{
    const std::string dir = config_.path(), ssh = home_ / ".ssh";
    MakeDirs(ssh);
    ::chmod(ssh.c_str(), 0700);
    ::mkdir("/run/sshd", 0755);
    Run("ssh-keygen -q -t ed25519 -N '' -f '" + dir + "/host_key'");
    Run("ssh-keygen -q -t ed25519 -N '' -f '" + dir + "/other_key'");
    Run("ssh-keygen -q -t ed25519 -N '" + options_.Passphrase + "' -f '" + ssh + "/id_ed25519'");
    if (options_.ClientKey)
        Run("cp '" + ssh + "/id_ed25519.pub' '" + dir + "/authorized_keys'");
    else
        WriteFile(dir + "/authorized_keys", "");
    WriteFile(dir + "/sshd_config", "HostKey " + dir + "/host_key\nPidFile none\nAuthorizedKeysFile " + dir +
                                        "/authorized_keys\nPermitRootLogin yes\nStrictModes no\nUsePAM no\n"
                                        "PasswordAuthentication " +
                                        (options_.PasswordLogin ? "yes" : "no") +
                                        "\nKbdInteractiveAuthentication no\nSubsystem sftp " + SubsystemLine() +
                                        "\n"
                                        "LogLevel ERROR\n"
                                        // A subsystem program runs through the user's shell; a
                                        // nested shell level keeps bash from reading ~/.bashrc.
                                        "SetEnv SHLVL=2\n");
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
        int port = FreeLoopbackPort();
        const std::string portText = std::to_string(port), config = dir + "/sshd_config", logFile = dir + "/sshd.log";
        const std::string startups =
            "MaxStartups=" + (options_.MaxStartups > 0 ? std::to_string(options_.MaxStartups) : "10:30:100");
        pid_t pid = ::fork();
        if (pid < 0) throw std::runtime_error("fork failed");
        if (pid == 0) {
            // The server's own complaints (also about the start-up probes) go to its log.
            int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (log >= 0) ::dup2(log, 2);
            ::execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-e", "-f", config.c_str(), "-p", portText.c_str(), "-o",
                    "ListenAddress=127.0.0.1", "-o", startups.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && !Accepts(port); ++i) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (Accepts(port)) {
            pid_ = pid;
            port_ = port;
        } else {
            KillTree(pid);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (pid_ < 0) throw std::runtime_error("sshd did not start (is openssh-server installed?)");
}

SshServer::~SshServer()
{
    Vanish();
    if (hadHome_)
        ::setenv("HOME", oldHome_.c_str(), 1);
    else
        ::unsetenv("HOME");
    if (hadAgent_) ::setenv("SSH_AUTH_SOCK", oldAgent_.c_str(), 1);
}

void SshServer::Vanish()
{
    if (pid_ <= 0) return;
    KillTree(pid_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string SshServer::Location(const std::string& path) const
{
    return "sftp://" + user_ + "@127.0.0.1:" + std::to_string(port_) + path;
}

std::string SshServer::Fingerprint() const
{
    std::istringstream line(Output("ssh-keygen -l -E sha256 -f '" + config_.path() + "/host_key.pub'"));
    std::string bits, fingerprint;
    line >> bits >> fingerprint;
    return fingerprint;
}

void SshServer::TrustHost() const
{
    WriteFile(home_ / ".ssh/known_hosts", HostKeyLine(config_ / "host_key.pub", port_));
}

void SshServer::TrustOtherKey() const
{
    WriteFile(home_ / ".ssh/known_hosts", HostKeyLine(config_ / "other_key.pub", port_));
}

}  // namespace testutil
