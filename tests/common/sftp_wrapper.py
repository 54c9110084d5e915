#!/usr/bin/env python3
"""An SFTP server as some servers behave: stands between sshd and a real SFTP server (the
command after "--") and changes what passes.

  --cap-read N      read requests ask for at most N bytes (the server answers at most N)
  --ignore-modes    permission bits in open, mkdir and setstat requests are dropped: the
                    server accepts them and keeps its own
  --hide NAME       the extension NAME is not offered (may repeat)
  --end-at-rename N the N-th rename request ends the server before it is carried out, as a
                    connection that breaks there
  --log FILE        each read request's offset and length (as the server gets it) is added
                    to FILE, one request a line
"""
import os
import struct
import subprocess
import sys
import threading

OPEN, READ, SETSTAT, FSETSTAT, MKDIR, RENAME, EXTENDED = 3, 5, 9, 10, 14, 18, 200
VERSION = 2
SIZE, UIDGID, PERMISSIONS, ACMODTIME, EXTENDED_ATTRS = 1, 2, 4, 8, 0x80000000


def read_exactly(fd, n):
    data = b""
    while len(data) < n:
        chunk = os.read(fd, n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def packets(fd):
    while True:
        head = read_exactly(fd, 4)
        if head is None:
            return
        body = read_exactly(fd, struct.unpack(">I", head)[0])
        if body is None:
            return
        yield body


def string_end(body, at):
    return at + 4 + struct.unpack(">I", body[at:at + 4])[0]


def without_mode(body, at):
    """The attributes at `at` with their permission bits taken out."""
    flags = struct.unpack(">I", body[at:at + 4])[0]
    if not flags & PERMISSIONS:
        return body
    where = at + 4 + (8 if flags & SIZE else 0) + (8 if flags & UIDGID else 0)
    head = body[:at] + struct.pack(">I", flags & ~PERMISSIONS)
    return head + body[at + 4:where] + body[where + 4:]


def client_packet(body, options):
    kind = body[0]
    if kind == RENAME and options["end_at_rename"]:
        options["end_at_rename"] -= 1
        if options["end_at_rename"] == 0:
            os._exit(0)
    if kind == READ and options["cap"]:
        at = string_end(body, 5) + 8
        length = struct.unpack(">I", body[at:at + 4])[0]
        length = min(length, options["cap"])
        body = body[:at] + struct.pack(">I", length) + body[at + 4:]
    if kind == READ and options["log"]:
        at = string_end(body, 5)
        offset, length = struct.unpack(">QI", body[at:at + 12])
        with open(options["log"], "a") as log:
            log.write("%d %d\n" % (offset, length))
    if options["ignore_modes"]:
        if kind in (OPEN,):
            body = without_mode(body, string_end(body, 5) + 4)
        elif kind in (SETSTAT, FSETSTAT, MKDIR):
            body = without_mode(body, string_end(body, 5))
        elif kind == EXTENDED and body[9:9 + 20] == b"lsetstat@openssh.com":
            body = without_mode(body, string_end(body, string_end(body, 5)))
    return body


def server_packet(body, options):
    if body[0] != VERSION or not options["hide"]:
        return body
    out, at = body[:5], 5
    while at < len(body):
        name_end = string_end(body, at)
        data_end = string_end(body, name_end)
        if body[at + 4:name_end].decode() not in options["hide"]:
            out += body[at:data_end]
        at = data_end
    return out


def pump(source, sink, change, options):
    for body in packets(source):
        body = change(body, options)
        os.write(sink, struct.pack(">I", len(body)) + body)
    os.close(sink)


def main():
    args = sys.argv[1:]
    split = args.index("--")
    options = {"cap": 0, "ignore_modes": False, "hide": set(), "log": None, "end_at_rename": 0}
    own = args[:split]
    i = 0
    while i < len(own):
        if own[i] == "--cap-read":
            options["cap"] = int(own[i + 1])
            i += 1
        elif own[i] == "--ignore-modes":
            options["ignore_modes"] = True
        elif own[i] == "--end-at-rename":
            options["end_at_rename"] = int(own[i + 1])
            i += 1
        elif own[i] == "--log":
            options["log"] = own[i + 1]
            i += 1
        elif own[i] == "--hide":
            options["hide"].add(own[i + 1])
            i += 1
        i += 1
    server = subprocess.Popen(args[split + 1:], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    up = threading.Thread(target=pump, args=(0, server.stdin.fileno(), client_packet, options))
    up.daemon = True
    up.start()
    pump(server.stdout.fileno(), 1, server_packet, options)
    server.wait()


if __name__ == "__main__":
    main()
