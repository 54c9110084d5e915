#!/usr/bin/python3
"""A TCP proxy for the transfer benchmark: listens on 127.0.0.1, forwards to --to PORT and holds
every chunk DELAY milliseconds in each direction (a link with that one-way latency, its
bandwidth untouched). Prints "PORT <n>" and serves until its stdin closes."""
import argparse
import asyncio
import os
import sys
import threading


async def pump(reader, writer, delay):
    loop = asyncio.get_running_loop()
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            due = loop.time() + delay
            # Chunks keep their order: each waits until its own time has come.
            await asyncio.sleep(max(0.0, due - loop.time()))
            writer.write(data)
            await writer.drain()
    finally:
        writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--to", type=int, required=True)
    parser.add_argument("--delay", type=float, default=10.0)
    args = parser.parse_args()
    delay = args.delay / 1000.0

    async def serve(client_reader, client_writer):
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.to)
        await asyncio.gather(pump(client_reader, server_writer, delay), pump(server_reader, client_writer, delay))

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
