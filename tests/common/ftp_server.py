#!/usr/bin/python3
"""A throw-away FTP server for the tests: binds 127.0.0.1 on a free port, prints
"PORT <n>" on stdout, and serves until it gets SIGTERM or its stdin closes (so it never
outlives the test process that started it)."""
import argparse
import logging
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--anonymous", action="store_true")
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    if args.user:
        authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")

    handler = FTPHandler
    handler.authorizer = authorizer
    handler.use_gmt_times = False  # list local times, as the local side shows them
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # refuse wrong passwords without the usual 3 s pause
    server = FTPServer(("127.0.0.1", 0), handler)
    server.max_cons = 64

    def stop(*_):
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    threading.Thread(target=lambda: (sys.stdin.read(), stop()), daemon=True).start()
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
