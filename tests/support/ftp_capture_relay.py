#!/usr/bin/python3
"""A raw TCP relay for tests that records every byte it passes on.

Listens on --listen (default 127.0.0.2, a loopback address of its own) on a
free port for control connections, which go to --target-host:--target-port,
and on every port of --data-ports LO-HI (the server's passive range), which go
to the same port of --target-host: a client that opens its passive data
connections to the address its control connection reached (127.0.0.2) goes
through the relay too. Both directions of every connection are appended to
--capture as they pass. Prints "PORT <n>" (the control port) on stdout.
"""
import argparse
import socket
import sys
import threading
import time

from server_lifetime import end_with_parent

LOCK = threading.Lock()


def record(path, data):
    with LOCK:
        with open(path, "ab") as f:
            f.write(data)


def pump(src, dst, capture):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            record(capture, data)
            dst.sendall(data)
    except OSError:
        pass
    finally:
        try:
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def relay(conn, target, capture):
    try:
        upstream = socket.create_connection(target, timeout=10)
    except OSError:
        conn.close()
        return
    upstream.settimeout(None)
    conn.settimeout(None)
    t = threading.Thread(target=pump, args=(upstream, conn, capture), daemon=True)
    t.start()
    pump(conn, upstream, capture)
    t.join(120)
    conn.close()
    upstream.close()


def serve(listener, target, capture):
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=relay, args=(conn, target, capture), daemon=True).start()


def listen(host, port):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((host, port))
    s.listen(16)
    return s


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--listen", default="127.0.0.2")
    ap.add_argument("--target-host", default="127.0.0.1")
    ap.add_argument("--target-port", type=int, required=True)
    ap.add_argument("--data-ports", default="")
    ap.add_argument("--capture", required=True)
    ap.add_argument("--lifetime", type=float, default=300)
    args = ap.parse_args()
    end_with_parent(args.lifetime)

    control = listen(args.listen, 0)
    threading.Thread(target=serve, args=(control, (args.target_host, args.target_port), args.capture),
                     daemon=True).start()
    if args.data_ports:
        lo, _, hi = args.data_ports.partition("-")
        for port in range(int(lo), int(hi) + 1):
            s = listen(args.listen, port)
            threading.Thread(target=serve, args=(s, (args.target_host, port), args.capture), daemon=True).start()
    print("PORT %d" % control.getsockname()[1], flush=True)
    while True:
        time.sleep(1)


if __name__ == "__main__":
    sys.exit(main())
