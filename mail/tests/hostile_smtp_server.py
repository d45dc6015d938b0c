"""A hostile SMTP server for the time-out tests.

Usage: hostile_smtp_server.py DIR --mode stall|trickle|drop [--delay S] [--host H]
Listens on 127.0.0.1 (or H) on a free port and prints "PORT <n>".
  stall:   answers the greeting, EHLO, MAIL, RCPT and DATA at once, then
           reads no more (with a small receive buffer, so the client's
           writes soon find the socket full) and holds the connection until
           its lifetime ends; prints "STALLED" when it stops reading.
  trickle: answers every command as a server should, but one byte every
           DELAY seconds (0.3 unless given).
  drop:    answers up to DATA, reads the first 16 KB of the message and
           closes the connection, as a server that dies; prints "DROPPED".
DIR is unused (the scripts' start_server passes one). Each connection gets a
thread of its own and is given up after ten minutes at the latest.
"""
import argparse
import socket
import sys
import threading
import time

REPLIES = [(b"EHLO", b"250 hostile\r\n"), (b"HELO", b"250 hostile\r\n"),
           (b"MAIL", b"250 ok\r\n"), (b"RCPT", b"250 ok\r\n"), (b"DATA", b"354 go\r\n"),
           (b"QUIT", b"221 bye\r\n")]
LIFETIME = 600


def serve(conn, mode, delay):
    deadline = time.monotonic() + LIFETIME
    conn.settimeout(LIFETIME)

    def say(data):
        if mode != "trickle":
            conn.sendall(data)
            return
        for b in data:
            if time.monotonic() > deadline:
                raise TimeoutError
            conn.sendall(bytes([b]))
            time.sleep(delay)

    pending, in_data = b"", False
    try:
        say(b"220 hostile ESMTP\r\n")
        while time.monotonic() < deadline:
            chunk = conn.recv(65536)
            if not chunk:
                return
            pending += chunk
            while True:
                if in_data:
                    end = pending.find(b"\r\n.\r\n")
                    if end < 0:
                        pending = pending[-4:]  # the end may straddle two reads
                        break
                    pending, in_data = pending[end + 5:], False
                    say(b"250 queued\r\n")
                    continue
                eol = pending.find(b"\r\n")
                if eol < 0:
                    break
                line, pending = pending[:eol], pending[eol + 2:]
                reply = next((r for c, r in REPLIES if line.upper().startswith(c)),
                             b"502 unknown\r\n")
                say(reply)
                if reply.startswith(b"354") and mode == "stall":
                    print("STALLED", flush=True)
                    # Holds the connection, reading nothing, until the client
                    # gives up and closes it (or the lifetime ends).
                    while time.monotonic() < deadline:
                        time.sleep(0.5)
                    return
                if reply.startswith(b"354") and mode == "drop":
                    got = len(pending)
                    while got < 16384:
                        chunk = conn.recv(65536)
                        if not chunk:
                            return
                        got += len(chunk)
                    print("DROPPED", flush=True)
                    return
                in_data = reply.startswith(b"354")
    except OSError:
        pass
    finally:
        conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--mode", choices=["stall", "trickle", "drop"], required=True)
    ap.add_argument("--delay", type=float, default=0.3)
    ap.add_argument("--host", default="127.0.0.1")
    a = ap.parse_args()
    listener = socket.socket()
    # Set before listening, so that every accepted connection has it.
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    listener.bind((a.host, 0))
    listener.listen(4)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, a.mode, a.delay), daemon=True).start()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
