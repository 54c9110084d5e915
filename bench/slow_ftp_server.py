#!/usr/bin/python3
"""An FTP server for the transfer benchmark: pyftpdlib with a thread per connection, every reply
sent DELAY milliseconds late (as over a slow link). Serves --root as user bench/bench on
127.0.0.1, prints "PORT <n>" and serves until its stdin closes."""
import argparse
import logging
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--delay", type=float, default=20.0)
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)

    class SlowHandler(FTPHandler):
        use_sendfile = False

        def respond(self, resp, logfun=logging.debug):
            time.sleep(args.delay / 1000.0)
            super().respond(resp, logfun)

    authorizer = DummyAuthorizer()
    authorizer.add_user("bench", "bench", args.root, perm="elradfmwMT")
    SlowHandler.authorizer = authorizer
    SlowHandler.use_gmt_times = True
    server = ThreadedFTPServer(("127.0.0.1", 0), SlowHandler)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
