#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that delays every chunk by a fixed time in each direction.

Stands in for a distant server where the kernel has no netem: each chunk read from one side
is written to the other DELAY later, whatever follows it, so a round trip costs 2 x DELAY
while the throughput stays what the two ends make of it (chunks in flight are not limited).
A new connection's first bytes also wait for the handshake a real one would need (SYN and
SYN-ACK: one more round trip).
    delay_proxy.py LISTEN_PORT TARGET_PORT [DELAY_MS]
Prints "ready" once it listens; runs until killed.
"""

import asyncio
import sys

CHUNK = 256 * 1024


async def pump(reader, writer, delay, not_before):
    """Copies reader to writer, each chunk `delay` seconds after it was read."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def read():
        try:
            while True:
                data = await reader.read(CHUNK)
                queue.put_nowait((max(loop.time(), not_before) + delay, data))
                if not data:
                    return
        except (ConnectionError, OSError):
            queue.put_nowait((loop.time(), b""))

    reading = asyncio.ensure_future(read())
    try:
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        reading.cancel()


async def serve(client_reader, client_writer, target_port, delay):
    loop = asyncio.get_running_loop()
    handshake_done = loop.time() + 2 * delay
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(
        pump(client_reader, server_writer, delay, handshake_done),
        pump(server_reader, client_writer, delay, 0),
    )
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    listen_port, target_port = int(sys.argv[1]), int(sys.argv[2])
    delay = (int(sys.argv[3]) if len(sys.argv) > 3 else 25) / 1000
    server = await asyncio.start_server(
        lambda r, w: serve(r, w, target_port, delay), "127.0.0.1", listen_port, backlog=1024
    )
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
