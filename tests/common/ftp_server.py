#!/usr/bin/python3
"""A throw-away FTP server for the tests: binds 127.0.0.1 (or ::1 with --ipv6) on a free port, prints
"PORT <n>" on stdout, and serves until it gets SIGTERM or its stdin closes (so it never
outlives the test process that started it). --short-downloads sends only the first half of
every file and still reports success; --no-size refuses SIZE, --no-mfmt MFMT and --no-chmod SITE
CHMOD as unknown commands; --tls-cert/--tls-key make it insist on explicit TLS for the login and every data
connection; --data-tls-cert/--data-tls-key make data connections present another certificate (a
server someone poses as on the way); --hide-dots makes a server that knows no MLSD and never lists names
beginning with "." (whatever options LIST gets); --ignore-chmod answers SITE CHMOD with success and
changes nothing; --mdtm-skew N makes a server without MLSD whose MDTM reads N seconds ahead;
--max-connections N refuses a control connection beyond N from one address with "421".
--reply-delay-ms MS sends every reply that much later, as over a long link, and --log-commands FILE
appends the verb of every command to FILE (both for benchmarks)."""
import argparse
import logging
import os
import signal
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class HalfProducer:
    """Hands out the first half of a file, then ends."""

    def __init__(self, fd):
        data = fd.read()
        self.rest = data[: len(data) // 2]

    def more(self):
        chunk, self.rest = self.rest, b""
        return chunk


def make_handler(args):
    base = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler

        base = TLS_FTPHandler
        base.certfile = args.tls_cert
        base.keyfile = args.tls_key
        base.tls_control_required = True
        base.tls_data_required = True
        if args.data_tls_cert:
            from OpenSSL import SSL
            from pyftpdlib.handlers import TLS_DTPHandler

            other = SSL.Context(SSL.TLS_SERVER_METHOD)
            other.use_certificate_chain_file(args.data_tls_cert)
            other.use_privatekey_file(args.data_tls_key)

            class SwitchingDTP(TLS_DTPHandler):
                def secure_connection(self, ssl_context):
                    super().secure_connection(other)

            base.dtp_handler = SwitchingDTP

    class Handler(base):
        use_sendfile = False

        def pre_process_command(self, line, cmd, arg):
            if args.log_commands:
                with open(args.log_commands, "a") as log:
                    log.write(cmd + "\n")  # the verb only: never a password
            return super().pre_process_command(line, cmd, arg)

        def push(self, data):
            if not args.reply_delay_ms:
                return super().push(data)
            # Later replies never overtake earlier ones, as on a link; the server goes on meanwhile.
            due = max(time.monotonic() + args.reply_delay_ms / 1000.0, getattr(self, "last_due", 0.0) + 1e-6)
            self.last_due = due
            self.ioloop.call_later(due - time.monotonic(), lambda: self.connected and base.push(self, data))

        def ftp_SITE_CHMOD(self, path, mode):
            if not args.ignore_chmod:
                return super().ftp_SITE_CHMOD(path, mode)
            self.respond("200 SITE CHMOD successful.")

        def ftp_MDTM(self, path):
            if not args.mdtm_skew:
                return super().ftp_MDTM(path)
            when = time.gmtime(os.path.getmtime(path) + args.mdtm_skew)
            self.respond("213 " + time.strftime("%Y%m%d%H%M%S", when))

        def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
            if args.short_downloads and cmd == "RETR":
                data = HalfProducer(file)
            return super().push_dtp_data(data, isproducer, file, cmd)

    refused = {"SIZE"} if args.no_size else set()
    if args.no_mfmt:
        refused.add("MFMT")
    if args.no_chmod:
        refused.add("SITE CHMOD")
    if args.hide_dots or args.mdtm_skew:
        refused |= {"MLST", "MLSD"}
    if args.hide_dots:

        class HidingFS(AbstractedFS):
            def listdir(self, path):
                return [n for n in super().listdir(path) if not n.startswith(".")]

        Handler.abstracted_fs = HidingFS
    Handler.proto_cmds = {k: v for k, v in base.proto_cmds.items() if k not in refused}
    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--short-downloads", action="store_true")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--no-mfmt", action="store_true")
    parser.add_argument("--no-chmod", action="store_true")
    parser.add_argument("--ipv6", action="store_true")
    parser.add_argument("--hide-dots", action="store_true")
    parser.add_argument("--ignore-chmod", action="store_true")
    parser.add_argument("--mdtm-skew", type=int, default=0)
    parser.add_argument("--max-connections", type=int, default=0)
    parser.add_argument("--reply-delay-ms", type=float, default=0)
    parser.add_argument("--log-commands", default="")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    parser.add_argument("--data-tls-cert", default="")
    parser.add_argument("--data-tls-key", default="")
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    if args.user:
        authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")

    handler = make_handler(args)
    handler.authorizer = authorizer
    handler.use_gmt_times = True  # MLSD and MDTM times in UTC, as the standard wants them
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # refuse wrong passwords without the usual 3 s pause
    server = FTPServer(("::1" if args.ipv6 else "127.0.0.1", 0), handler)
    server.max_cons = 64
    server.max_cons_per_ip = args.max_connections

    def stop(*_):
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    threading.Thread(target=lambda: (sys.stdin.read(), stop()), daemon=True).start()
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
