#!/usr/bin/python3
"""A TCP proxy on loopback that holds every byte for a fixed time in each direction, as a long
link would (no bandwidth limit, order kept): the latency benchmark puts it in front of sshd.

    delay_proxy.py --to PORT --delay-ms MS     prints "PORT <n>" (its own port) and serves
                                               until its stdin closes or it gets SIGTERM."""
import argparse
import asyncio
import os
import signal
import sys
import threading


async def pipe(reader, writer, delay):
    """Forwards what `reader` gets to `writer`, each chunk `delay` seconds after it came."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def forward():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                writer.close()
                return
            writer.write(data)
            await writer.drain()

    task = asyncio.ensure_future(forward())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
        await task
    except (ConnectionError, OSError):
        task.cancel()
        writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--to", type=int, required=True)
    parser.add_argument("--delay-ms", type=float, required=True)
    args = parser.parse_args()
    delay = args.delay_ms / 1000.0

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.to)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay), pipe(server_reader, client_writer, delay))

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    asyncio.run(main())
