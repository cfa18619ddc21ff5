#!/usr/bin/python3
"""pyftpdlib test server: 127.0.0.1 (or ::1), a free port printed as
"PORT <n>" on stdout, a given root folder.

  --root DIR              folder served (required)
  --user NAME:PASSWORD    a user with full permissions (repeatable)
  --anonymous             also allow anonymous logins (read and write)
  --upload-user NAME:PASSWORD  a user who may change folders and store
                          files, but not list, read or ask sizes (repeatable)
  --passive-ports LO-HI   passive port range
  --no-mlsd               offer neither MLSD nor MLST (the LIST path)
  --ipv6                  bind ::1 instead of 127.0.0.1
  --lifetime SECONDS      exit after this long (default 300)
  --tls-cert FILE         FTP over TLS (AUTH TLS, pyftpdlib's TLS handler,
                          python3-openssl) with this certificate (PEM); the
                          login and data connections must be protected
  --tls-key FILE          the certificate's private key (PEM)
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

from server_lifetime import end_with_parent


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", action="append", default=[])
    ap.add_argument("--anonymous", action="store_true")
    ap.add_argument("--upload-user", action="append", default=[])
    ap.add_argument("--passive-ports", default="")
    ap.add_argument("--no-mlsd", action="store_true")
    ap.add_argument("--ipv6", action="store_true")
    ap.add_argument("--lifetime", type=float, default=300)
    ap.add_argument("--tls-cert", default="")
    ap.add_argument("--tls-key", default="")
    args = ap.parse_args()

    logging.basicConfig(level=logging.ERROR)
    end_with_parent(args.lifetime)

    authorizer = DummyAuthorizer()
    for entry in args.user:
        name, _, password = entry.partition(":")
        authorizer.add_user(name, password, args.root, perm="elradfmwMT")
    for entry in args.upload_user:
        name, _, password = entry.partition(":")
        authorizer.add_user(name, password, args.root, perm="ew")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")

    base = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler

    class Handler(base):
        pass

    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    Handler.authorizer = authorizer
    Handler.banner = "pyftpdlib test server ready."
    Handler.auth_failed_timeout = 0.1  # tests need no brute-force brake
    if args.passive_ports:
        lo, _, hi = args.passive_ports.partition("-")
        Handler.passive_ports = range(int(lo), int(hi) + 1)
    if args.no_mlsd:
        # Without MLSD and MLST in the command table they leave FEAT and
        # are answered as unknown commands.
        Handler.proto_cmds = {k: v for k, v in base.proto_cmds.items() if k not in ("MLSD", "MLST")}

    host = "::1" if args.ipv6 else "127.0.0.1"
    server = FTPServer((host, 0), Handler)
    server.max_cons = 64
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(timeout=0.5, blocking=True, handle_exit=True)


if __name__ == "__main__":
    sys.exit(main())
