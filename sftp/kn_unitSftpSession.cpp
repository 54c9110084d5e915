#include "sftp/kn_unitSftpSession.h"

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "framework/vex_unitFileCopy.h"
#include "side/kn_unitSideAsk.h"

namespace kn {

namespace {

constexpr long kConnectTimeoutSeconds = 20;
std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool SafeName(const char* name)
{
    std::string_view n(name);
    if (n.empty() || n == "." || n == "..") return false;
    for (unsigned char c : n)
        if (c == '/' || c < 0x20 || c == 0x7F) return false;
    return true;
}

TKNSftpEntry::TKind KindOf(uint32_t permissions)
{
    if (S_ISDIR(permissions)) return TKNSftpEntry::TKind::Folder;
    if (S_ISREG(permissions)) return TKNSftpEntry::TKind::File;
    return TKNSftpEntry::TKind::Other;
}

void Fill(TKNSftpEntry& entry, const sftp_attributes_struct& attr)
{
    entry.Kind = KindOf(attr.permissions);
    entry.Size = static_cast<int64_t>(attr.size);
    entry.MTime = static_cast<int64_t>(attr.mtime);
    entry.Permissions = attr.permissions;
}

struct TAttrFree {
    void operator()(sftp_attributes a) const { sftp_attributes_free(a); }
};
using TAttr = std::unique_ptr<sftp_attributes_struct, TAttrFree>;

// A key's passphrase: asked for when there is someone to ask, otherwise the key is skipped
// and the note says so.
int AskPassphrase(const char*, char* buf, size_t len, int, int, void* userdata)
{
    auto* notes = static_cast<std::vector<std::string>*>(userdata);
    std::string answer;
    if (AskUser("Passphrase for a key in " + SshFolder() + ":", answer) && answer.size() < len) {
        std::copy(answer.begin(), answer.end(), buf);
        buf[answer.size()] = '\0';
        std::fill(answer.begin(), answer.end(), '\0');
        return 0;
    }
    notes->push_back("A key in " + SshFolder() + " has a passphrase; it was skipped.");
    return -1;
}

std::string Fingerprint(ssh_session ssh)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(ssh, &key) != SSH_OK) return "(no key)";
    unsigned char* hash = nullptr;
    size_t length = 0;
    std::string text = "(no fingerprint)";
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == 0) {
        char* printable = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
        if (printable) text = printable;
        ssh_string_free_char(printable);
        ssh_clean_pubkey_hash(&hash);
    }
    ssh_key_free(key);
    return text;
}

std::string ShownUser(const TKNSftpLocation& location, ssh_session ssh)
{
    if (!location.User.empty()) return location.User;
    char* user = nullptr;
    if (ssh_options_get(ssh, SSH_OPTIONS_USER, &user) != SSH_OK || !user) return std::string();
    std::string text = user;
    ssh_string_free_char(user);
    return text;
}

}  // namespace

std::string SshFolder()
{
    const char* home = std::getenv("HOME");
    std::string folder = home && *home ? home : "";
    if (folder.empty())
        if (const passwd* pw = getpwuid(getuid())) folder = pw->pw_dir;
    return folder + "/.ssh";
}

TKNSftpSession::TKNSftpSession() = default;

TKNSftpSession::~TKNSftpSession()
{
    Close();
}

void TKNSftpSession::Close()
{
    if (sftp_) sftp_free(sftp_);
    sftp_ = nullptr;
    if (ssh_) {
        if (ssh_is_connected(ssh_)) ssh_disconnect(ssh_);
        ssh_free(ssh_);
    }
    ssh_ = nullptr;
    delete static_cast<ssh_callbacks_struct*>(callbacks_);
    callbacks_ = nullptr;
}

// A socket that closed or broke leaves a fatal error; a refused request does not.
bool TKNSftpSession::Connected() const
{
    return ssh_ && ssh_is_connected(ssh_) && ssh_get_error_code(ssh_) != SSH_FATAL;
}

std::string TKNSftpSession::LastError() const
{
    if (!ssh_) return "Not connected";
    return ssh_get_error(ssh_);
}

void TKNSftpSession::Fail(const std::string& what)
{
    std::string text = what + ": " + LastError();
    Close();
    throw TKNSftpError(text);
}

void TKNSftpSession::ConnectOnly(const TKNSftpLocation& location, const std::string& shown)
{
    Close();
    ssh_ = ssh_new();
    if (!ssh_) throw TKNSftpError("Cannot start an SSH session for " + shown);
    const std::string folder = SshFolder(), knownHosts = folder + "/known_hosts";
    long timeout = kConnectTimeoutSeconds;
    ssh_options_set(ssh_, SSH_OPTIONS_SSH_DIR, folder.c_str());
    ssh_options_set(ssh_, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
    ssh_options_set(ssh_, SSH_OPTIONS_TIMEOUT, &timeout);
    // Requests leave at once: with Nagle's rule a second small packet waits for the peer's
    // delayed acknowledgement of the first (40 ms), several times in each login.
    int noDelay = 1;
    ssh_options_set(ssh_, SSH_OPTIONS_NODELAY, &noDelay);
    if (ssh_options_set(ssh_, SSH_OPTIONS_HOST, location.Host.c_str()) != SSH_OK) Fail("Invalid host in " + shown);
    // The configuration first, then what the location says, which wins as on ssh's command line.
    if (ssh_options_parse_config(ssh_, nullptr) != SSH_OK) Fail("Cannot read the SSH configuration");
    if (!location.User.empty()) ssh_options_set(ssh_, SSH_OPTIONS_USER, location.User.c_str());
    if (location.Port != 0) {
        unsigned int port = location.Port;
        ssh_options_set(ssh_, SSH_OPTIONS_PORT, &port);
    }
    if (ssh_connect(ssh_) == SSH_OK) return;
    // Reached, then closed (or reset) without a greeting: a server at its limit of connections
    // being opened (sshd's MaxStartups, which says "Exceeded MaxStartups" and closes).
    const std::string label = SftpHostLabel(location), error = LastError();
    const bool closed = error.find("disconnected") != std::string::npos || error.find("reset") != std::string::npos;
    if (!ssh_get_serverbanner(ssh_) && closed) {
        Close();
        throw TKNSftpTooMany("The server " + label +
                             " closed the connection before greeting: it takes no more connections now (" + error +
                             ")");
    }
    Fail("Cannot connect to " + label);
}

void TKNSftpSession::CheckHostKey(const std::string& label)
{
    switch (ssh_session_is_known_server(ssh_)) {
        case SSH_KNOWN_HOSTS_OK:
            return;
        case SSH_KNOWN_HOSTS_CHANGED:
        case SSH_KNOWN_HOSTS_OTHER: {
            std::string text =
                "WARNING: THE HOST KEY OF " + label + " HAS CHANGED. Someone may be intercepting the " +
                "connection. Its key is now " + Fingerprint(ssh_) + "; the key recorded in " + SshFolder() +
                "/known_hosts differs and is kept. Remove it there yourself only if you know why it changed.";
            Close();
            throw TKNSftpError(text);
        }
        case SSH_KNOWN_HOSTS_UNKNOWN:
        case SSH_KNOWN_HOSTS_NOT_FOUND: {
            std::string text =
                "The host " + label + " is not known. Its key's fingerprint is " + Fingerprint(ssh_) + ".";
            Close();
            throw TKNSftpUntrusted(text);
        }
        case SSH_KNOWN_HOSTS_ERROR:
            break;
    }
    Fail("Cannot check the host key of " + label);
}

// The password typed for `account` earlier in this run, or asked for now; one the server
// refuses is forgotten. The user is asked once per account, not once per connection.
int TKNSftpSession::AskedPassword(const std::string& account, std::vector<std::string>& tried)
{
    std::string password = RememberedAnswer(account);
    if (password.empty() && !AskUser("Password for " + account + ":", password)) return SSH_AUTH_DENIED;
    tried.push_back("the password typed");
    int result = ssh_userauth_password(ssh_, nullptr, password.c_str());
    RememberAnswer(account, result == SSH_AUTH_SUCCESS ? password : std::string());
    return result;
}

void TKNSftpSession::Authenticate(const TKNSftpLocation& location, const std::string& label)
{
    // libssh keeps the pointer for the life of the session.
    auto* callbacks = new ssh_callbacks_struct{};
    callbacks_ = callbacks;
    callbacks->userdata = &Notes;
    callbacks->auth_function = AskPassphrase;
    ssh_callbacks_init(callbacks);
    ssh_set_callbacks(ssh_, callbacks);
    int result = ssh_userauth_none(ssh_, nullptr);
    std::vector<std::string> tried;
    if (result != SSH_AUTH_SUCCESS && std::getenv("SSH_AUTH_SOCK")) {
        tried.push_back("the SSH agent");
        result = ssh_userauth_agent(ssh_, nullptr);
    }
    if (result != SSH_AUTH_SUCCESS && result != SSH_AUTH_ERROR) {
        tried.push_back("the keys in " + SshFolder());
        result = ssh_userauth_publickey_auto(ssh_, nullptr, nullptr);
    }
    if (result != SSH_AUTH_SUCCESS && result != SSH_AUTH_ERROR && location.HasPassword) {
        tried.push_back("the password of the location");
        result = ssh_userauth_password(ssh_, nullptr, location.Password.c_str());
    }
    if (result == SSH_AUTH_DENIED && !location.HasPassword)
        result = AskedPassword(ShownUser(location, ssh_) + "@" + label, tried);
    if (result == SSH_AUTH_SUCCESS) return;
    if (result == SSH_AUTH_ERROR) Fail("Cannot log in to " + label);
    std::string text = "The server " + label + " refused the login as \"" + ShownUser(location, ssh_) + "\"";
    for (std::size_t i = 0; i < tried.size(); ++i)
        text += (i == 0 ? " (tried " : i + 1 == tried.size() ? " and " : ", ") + tried[i];
    if (!tried.empty()) text += ")";
    for (const auto& note : Notes) text += ". " + note;
    Close();
    throw TKNSftpError(text);
}

void TKNSftpSession::Open(const std::string& rootLocation)
{
    const std::string shown = SftpDisplayLocation(rootLocation);
    TKNSftpLocation location = ParseSftpLocation(rootLocation);
    const std::string label = SftpHostLabel(location);
    Notes.clear();
    ConnectOnly(location, shown);
    CheckHostKey(label);
    Authenticate(location, label);
    label_ = label;
    root_ = WithoutTrailingSlash(ForwardSlashes(rootLocation));
    if (location.Path.empty() || location.Path == "/") {
        rootPath_.assign(1, '/');  // not = "/": GCC 12 at -O3 warns falsely (-Wrestrict)
        if (location.Path.empty()) {
            if (std::string reason; !OpenSftp(reason)) throw TKNSftpError(reason);
            char* home = sftp_canonicalize_path(sftp_, ".");
            if (!home) Fail("Cannot find the login folder on " + label);
            rootPath_ = WithoutTrailingSlash(home);
            ssh_string_free_char(home);
        }
    } else {
        rootPath_ = WithoutTrailingSlash(location.Path);
    }
}

// libssh's own SFTP channel costs three round trips to open: it is opened only when a call
// needs it (the side's transfers and listings go on a channel of their own).
bool TKNSftpSession::OpenSftp(std::string& reason)
{
    if (sftp_) return true;
    if (!ssh_) {
        reason = "The connection to the SFTP server is closed";
        return false;
    }
    sftp_ = sftp_new(ssh_);
    if (!sftp_) {
        reason = "Cannot open an SFTP channel on " + label_ + ": " + LastError();
        return false;
    }
    if (sftp_init(sftp_) == SSH_OK) return true;
    reason = "The server " + label_ + " does not offer SFTP: " + LastError();
    sftp_free(sftp_);
    sftp_ = nullptr;
    return false;
}

std::string TKNSftpSession::RemotePath(const std::string& location) const
{
    std::string text = ForwardSlashes(location);
    std::string rest;
    if (text.compare(0, root_.size(), root_) == 0 && (text.size() == root_.size() || text[root_.size()] == '/')) {
        rest = text.substr(root_.size());
    } else {
        TKNSftpLocation parsed = ParseSftpLocation(location);
        return parsed.Path.empty() ? rootPath_ : parsed.Path;
    }
    if (rest.empty()) return rootPath_;
    return rootPath_ == "/" ? rest : rootPath_ + rest;
}

bool TKNSftpSession::Stat(const std::string& path, TKNSftpEntry& entry, std::string& reason)
{
    if (!OpenSftp(reason)) return false;
    TAttr attr(sftp_stat(sftp_, path.c_str()));
    if (!attr) {
        reason = LastError();
        return false;
    }
    Fill(entry, *attr);
    return true;
}

bool TKNSftpSession::List(const std::string& path, std::vector<TKNSftpEntry>& entries, std::string& reason)
{
    entries.clear();
    if (!Connected() || !OpenSftp(reason)) throw TKNSftpError("The connection to the SFTP server is closed");
    sftp_dir dir = sftp_opendir(sftp_, path.c_str());
    if (!dir) {
        if (!Connected()) throw TKNSftpError("The connection to the SFTP server was lost: " + LastError());
        reason = "Cannot list \"" + path + "\": " + LastError();
        TKNSftpEntry self;
        std::string ignored;
        if (Stat(path, self, ignored) && self.Kind != TKNSftpEntry::TKind::Folder)
            reason = "\"" + path + "\" is not a folder";
        return false;
    }
    const std::string prefix = path == "/" ? path : path + "/";
    while (TAttr attr{sftp_readdir(sftp_, dir)}) {
        if (!attr->name || !SafeName(attr->name)) continue;
        TKNSftpEntry entry;
        entry.Name = attr->name;
        Fill(entry, *attr);
        if (S_ISLNK(attr->permissions)) {
            entry.Link = true;
            std::string ignored;
            if (!Stat(prefix + entry.Name, entry, ignored)) continue;  // leads nowhere
        }
        entries.push_back(std::move(entry));
    }
    const bool complete = sftp_dir_eof(dir);
    sftp_closedir(dir);
    if (complete) return true;
    if (!Connected()) throw TKNSftpError("The connection to the SFTP server was lost: " + LastError());
    reason = "Cannot list \"" + path + "\": " + LastError();
    entries.clear();
    return false;
}

namespace {

// Connects without logging in and reads what known_hosts says of the server's key.
TKNSftpHostKey ProbeHostKey(TKNSftpSession& session, const std::string& location)
{
    TKNSftpLocation parsed = ParseSftpLocation(location);
    TKNSftpHostKey key;
    key.Label = SftpHostLabel(parsed);
    session.ConnectOnly(parsed, SftpDisplayLocation(location));
    key.Fingerprint = Fingerprint(session.Ssh());
    enum ssh_known_hosts_e state = ssh_session_is_known_server(session.Ssh());
    key.Known = state == SSH_KNOWN_HOSTS_OK;
    key.Changed = state == SSH_KNOWN_HOSTS_CHANGED || state == SSH_KNOWN_HOSTS_OTHER;
    return key;
}

}  // namespace

TKNSftpHostKey ReadSftpHostKey(const std::string& location)
{
    TKNSftpSession session;
    return ProbeHostKey(session, location);
}

TKNSftpHostKey TrustSftpHost(const std::string& location, const std::string& expected)
{
    TKNSftpSession session;
    TKNSftpHostKey key = ProbeHostKey(session, location);
    if (!expected.empty() && key.Fingerprint != expected)
        throw TKNSftpError("The host " + key.Label + " now shows the key " + key.Fingerprint + ", not " + expected +
                           " as before; nothing is recorded.");
    if (key.Changed)
        throw TKNSftpError("WARNING: THE HOST KEY OF " + key.Label + " HAS CHANGED (now " + key.Fingerprint +
                           "). The key recorded in " + SshFolder() +
                           "/known_hosts is kept; remove it there yourself only if you know why it changed.");
    if (key.Known) return key;
    std::string reason;
    const std::string ssh = SshFolder();
    if (!vex::MakeFolderTree(ssh.substr(0, ssh.size() - 5), ssh, reason))
        throw TKNSftpError("Cannot create " + SshFolder() + ": " + reason);
    if (ssh_session_update_known_hosts(session.Ssh()) != SSH_OK)
        throw TKNSftpError("Cannot record the host key of " + key.Label + ": " + session.LastError());
    return key;
}

}  // namespace kn
