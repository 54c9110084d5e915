#include "tests/common/dav_server.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "tests/common/ftp_server.h"
#include "tests/common/server_process.h"

namespace testutil {

namespace {

const char* Program(DavServer::Kind kind)
{
    switch (kind) {
        case DavServer::Kind::Apache:
            return "/usr/sbin/apache2";
        case DavServer::Kind::Lighttpd:
            return "/usr/sbin/lighttpd";
        case DavServer::Kind::Nginx:
            return "/usr/sbin/nginx";
        case DavServer::Kind::Rclone:
            return "/usr/bin/rclone";
    }
    return "";
}

// What `command` prints, without its last line break.
std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string ApacheConfig(const std::string& state, int port, const DavServer::Options& o)
{
    const std::string modules = "/usr/lib/apache2/modules/";
    std::string c = "ServerRoot " + state + "\nServerName 127.0.0.1\nPidFile " + state + "/httpd.pid\n" +
                    "DefaultRuntimeDir " + state + "\nMutex file:" + state + " default\nErrorLog " + state +
                    "/error.log\nListen 127.0.0.1:" + std::to_string(port) + "\nDavLockDB " + state + "/lockdb\n";
    for (const char* m : {"mpm_event", "authz_core", "authn_core", "auth_basic", "authn_file", "authz_user", "dav",
                          "dav_fs", "ssl", "socache_shmcb"})
        c += std::string("LoadModule ") + m + "_module " + modules + "mod_" + m + ".so\n";
    c += "DocumentRoot /\n<Directory />\n  Dav On\n  Options None\n  AllowOverride None\n";
    if (o.User.empty()) {
        c += "  Require all granted\n";
    } else {
        WriteFile(state + "/users", o.User + ":" + Output("openssl passwd -apr1 '" + o.Password + "'") + "\n");
        c += "  AuthType Basic\n  AuthName kestrune-test\n  AuthUserFile " + state + "/users\n  Require valid-user\n";
    }
    c += "</Directory>\n";
    if (o.Tls)
        c += "SSLEngine on\nSSLCertificateFile " + state + "/cert.pem\nSSLCertificateKeyFile " + state +
             "/key.pem\nSSLSessionCache shmcb:" + state + "/ssl_cache(512000)\n";
    return c;
}

std::string LighttpdConfig(const std::string& state, int port, const DavServer::Options& o)
{
    std::string c = "server.document-root = \"/\"\nserver.bind = \"127.0.0.1\"\nserver.port = " + std::to_string(port) +
                    "\nserver.errorlog = \"" + state +
                    "/error.log\"\nserver.follow-symlink = \"disable\"\n"
                    // The tests change files behind the server's back: no cached sizes.
                    "server.stat-cache-engine = \"disable\"\n"
                    "server.modules = (\"mod_webdav\"" +
                    std::string(o.Tls ? ", \"mod_openssl\"" : "") +
                    ")\nwebdav.activate = \"enable\"\nwebdav.is-readonly = \"disable\"\n"
                    "webdav.sqlite-db-name = \"" +
                    state + "/props.db\"\n";
    if (o.Tls)
        c += "ssl.engine = \"enable\"\nssl.pemfile = \"" + state + "/cert.pem\"\nssl.privkey = \"" + state +
             "/key.pem\"\n";
    return c;
}

std::string NginxConfig(const std::string& state, int port, const DavServer::Options& o)
{
    const std::string temp = state + "/temp";
    MakeDirs(temp);
    return "load_module /usr/lib/nginx/modules/ngx_http_dav_ext_module.so;\ndaemon off;\npid " + state +
           "/nginx.pid;\nerror_log " + state + "/error.log;\nevents {}\nhttp {\n  access_log off;\n" +
           "  client_body_temp_path " + temp + ";\n  proxy_temp_path " + temp + ";\n  fastcgi_temp_path " + temp +
           ";\n  uwsgi_temp_path " + temp + ";\n  scgi_temp_path " + temp +
           ";\n  server {\n    listen 127.0.0.1:" + std::to_string(port) + (o.Tls ? " ssl" : "") + ";\n" +
           (o.Tls ? "    ssl_certificate " + state + "/cert.pem;\n    ssl_certificate_key " + state + "/key.pem;\n"
                  : std::string()) +
           "    root /;\n    disable_symlinks on;\n    client_max_body_size 0;\n"
           "    dav_methods PUT DELETE MKCOL COPY MOVE;\n    dav_ext_methods PROPFIND OPTIONS;\n"
           "    create_full_put_path off;\n  }\n}\n";
}

}  // namespace

std::string DavServer::Unavailable(Kind kind)
{
    return ::access(Program(kind), X_OK) == 0 ? std::string() : std::string(Program(kind)) + " is not installed";
}

DavServer::DavServer(const Options& options) : options_(options)
{
    if (std::string why = Unavailable(options.Server); !why.empty()) throw std::runtime_error(why);
    if (options.Tls) fingerprint_ = MakeCertificate(state_.path(), "kestrune-test.invalid");
    port_ = FreeLoopbackPort();
    const std::string state = state_.path(), log = state + "/server.log";
    std::vector<std::string> argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(kUnprivilegedId),
                                     "--regid=" + std::to_string(kUnprivilegedId), "--clear-groups",
                                     Program(options.Server)};
    switch (options.Server) {
        case Kind::Apache:
            WriteFile(state + "/httpd.conf", ApacheConfig(state, port_, options));
            argv.insert(argv.end(), {"-f", state + "/httpd.conf", "-DFOREGROUND"});
            break;
        case Kind::Lighttpd:
            WriteFile(state + "/lighttpd.conf", LighttpdConfig(state, port_, options));
            argv.insert(argv.end(), {"-D", "-f", state + "/lighttpd.conf"});
            break;
        case Kind::Nginx:
            WriteFile(state + "/nginx.conf", NginxConfig(state, port_, options));
            argv.insert(argv.end(), {"-c", state + "/nginx.conf", "-p", state});
            break;
        case Kind::Rclone:
            argv.insert(argv.end(), {"serve", "webdav", "/", "--addr", "127.0.0.1:" + std::to_string(port_), "--config",
                                     state + "/rclone.conf", "--cache-dir", state + "/cache", "--skip-links",
                                     "--dir-cache-time", "0s"});
            if (!options.User.empty()) argv.insert(argv.end(), {"--user", options.User, "--pass", options.Password});
            if (options.Tls) argv.insert(argv.end(), {"--cert", state + "/cert.pem", "--key", state + "/key.pem"});
            break;
    }
    GiveToUnprivileged(state);
    pid_ = StartServer(argv, log, [this] { return Accepts(port_); });
}

DavServer::~DavServer()
{
    StopServer(pid_);
}

std::string DavServer::Location(const std::string& path) const
{
    const std::string login = options_.User.empty() ? std::string() : options_.User + ":" + options_.Password + "@";
    return std::string(options_.Tls ? "davs://" : "dav://") + login + "127.0.0.1:" + std::to_string(port_) + path;
}

bool DavServer::OwnName(const std::string& name) const
{
    // Apache's property store, and the file an upload goes to before Apache moves it in.
    return options_.Server == Kind::Apache && (name == ".DAV" || name.rfind(".davfs.tmp", 0) == 0);
}

}  // namespace testutil
