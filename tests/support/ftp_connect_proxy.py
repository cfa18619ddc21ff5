#!/usr/bin/python3
"""A tiny HTTP CONNECT proxy for tests: binds 127.0.0.1 on a free port,
prints "PORT <n>", and tunnels CONNECT requests to loopback targets only
(127.0.0.1, ::1, localhost); any other target or method gets 403. The
"host:port" of every CONNECT request is appended to --log.
"""
import argparse
import socket
import sys
import threading

from server_lifetime import end_with_parent

LOOPBACK = {"127.0.0.1", "::1", "localhost"}
LOCK = threading.Lock()


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    finally:
        for s, how in ((dst, socket.SHUT_WR), (src, socket.SHUT_RD)):
            try:
                s.shutdown(how)
            except OSError:
                pass


def handle(conn, log):
    try:
        conn.settimeout(10)
        head = b""
        while b"\r\n\r\n" not in head and len(head) < 16384:
            chunk = conn.recv(1)
            if not chunk:
                return
            head += chunk
        request = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = request.split(" ")
        if len(parts) != 3 or parts[0] != "CONNECT":
            conn.sendall(b"HTTP/1.1 405 Method Not Allowed\r\n\r\n")
            return
        target = parts[1]
        with LOCK:
            with open(log, "a", encoding="latin-1") as f:
                f.write(target + "\n")
        host, _, port = target.rpartition(":")
        host = host.strip("[]")
        if host not in LOOPBACK or not port.isdigit():
            conn.sendall(b"HTTP/1.1 403 Forbidden\r\n\r\n")
            return
        try:
            upstream = socket.create_connection((host, int(port)), timeout=10)
        except OSError:
            conn.sendall(b"HTTP/1.1 502 Bad Gateway\r\n\r\n")
            return
        conn.settimeout(None)
        upstream.settimeout(None)
        conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        t = threading.Thread(target=pump, args=(upstream, conn), daemon=True)
        t.start()
        pump(conn, upstream)
        t.join(60)
        upstream.close()
    except OSError:
        pass
    finally:
        conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--log", required=True)
    ap.add_argument("--lifetime", type=float, default=300)
    args = ap.parse_args()
    end_with_parent(args.lifetime)
    lst = socket.socket()
    lst.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    lst.bind(("127.0.0.1", 0))
    lst.listen(16)
    print("PORT %d" % lst.getsockname()[1], flush=True)
    while True:
        conn, _ = lst.accept()
        threading.Thread(target=handle, args=(conn, args.log), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
