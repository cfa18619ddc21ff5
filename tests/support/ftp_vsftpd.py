#!/usr/bin/python3
"""vsftpd test server with its own generated configuration.

Binds 127.0.0.1 on a free port, serves --root to anonymous users with
uploads enabled, and prints "PORT <n>" on stdout once vsftpd accepts
connections. As root, vsftpd runs the sessions as the "ftp" user (or
--ftp-user); uploads then go into the sub-folder "upload", which this
script creates and gives to that user (vsftpd refuses a writable anonymous
root). Without root it runs everything as the launching user
(run_as_launching_user), and the root folder itself is writable.

Exits with status 77 and a message on stderr when vsftpd is not usable.

  --root DIR          anonymous root (required, must exist)
  --work DIR          folder for the configuration and log (default: --root's parent)
  --ftp-user NAME     session user when run as root (default "ftp")
  --lifetime SECONDS  exit after this long (default 300)
  --ask-password      anonymous logins send a password (PASS) like any login
  --pasv-ports LO-HI  passive data ports
  --tls-cert FILE     FTP over TLS with this certificate (PEM) and --tls-key:
                      logins and data must be protected, data connections
                      must resume the control connection's TLS session, and
                      both ends of a data connection must close with
                      close_notify
  --tls-key FILE      the certificate's private key (PEM)
  --implicit          TLS from the first byte (implicit FTPS) instead of AUTH TLS
  --tls-lenient       data connections may end without close_notify (for
                      clients that never send it; session reuse stays required)
"""
import argparse
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import time

SKIP = 77


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def fail(msg):
    sys.stderr.write(msg + "\n")
    sys.exit(SKIP)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--work", default="")
    ap.add_argument("--ftp-user", default="ftp")
    ap.add_argument("--lifetime", type=float, default=300)
    ap.add_argument("--ask-password", action="store_true")
    ap.add_argument("--pasv-ports", default="")
    ap.add_argument("--tls-cert", default="")
    ap.add_argument("--tls-key", default="")
    ap.add_argument("--implicit", action="store_true")
    ap.add_argument("--tls-lenient", action="store_true")
    args = ap.parse_args()

    binary = shutil.which("vsftpd") or ("/usr/sbin/vsftpd" if os.path.exists("/usr/sbin/vsftpd") else None)
    if binary is None:
        fail("vsftpd is not installed")
    root = os.path.abspath(args.root)
    work = os.path.abspath(args.work) if args.work else os.path.dirname(root)
    is_root = os.geteuid() == 0
    lines = [
        "listen=YES",
        "listen_ipv6=NO",
        "listen_address=127.0.0.1",
        "background=NO",
        "anonymous_enable=YES",
        "local_enable=NO",
        "write_enable=YES",
        "anon_upload_enable=YES",
        "anon_mkdir_write_enable=YES",
        "anon_other_write_enable=YES",
        "anon_umask=022",
        "no_anon_password=" + ("NO" if args.ask_password else "YES"),
        "anon_root=" + root,
        "connect_from_port_20=NO",
        "port_enable=YES",
        "pasv_enable=YES",
        "force_dot_files=YES",
        "seccomp_sandbox=NO",
        "isolate=NO",
        "isolate_network=NO",
        "xferlog_enable=NO",
        "syslog_enable=NO",
        "vsftpd_log_file=" + os.path.join(work, "vsftpd.log"),
        "dirmessage_enable=NO",
        "use_localtime=NO",
        "check_shell=NO",
        "max_per_ip=0",
        "max_clients=0",
    ]
    if args.pasv_ports:
        lo, _, hi = args.pasv_ports.partition("-")
        lines += ["pasv_min_port=%d" % int(lo), "pasv_max_port=%d" % int(hi)]
    if args.tls_cert:
        lines += [
            "ssl_enable=YES",
            "allow_anon_ssl=YES",
            "force_anon_logins_ssl=YES",
            "force_anon_data_ssl=YES",
            "force_local_logins_ssl=YES",
            "force_local_data_ssl=YES",
            "require_ssl_reuse=YES",
            "strict_ssl_read_eof=" + ("NO" if args.tls_lenient else "YES"),
            "strict_ssl_write_shutdown=" + ("NO" if args.tls_lenient else "YES"),
            "ssl_ciphers=HIGH",
            "rsa_cert_file=" + os.path.abspath(args.tls_cert),
            "rsa_private_key_file=" + os.path.abspath(args.tls_key or args.tls_cert),
            "implicit_ssl=" + ("YES" if args.implicit else "NO"),
        ]
    if is_root:
        try:
            ent = pwd.getpwnam(args.ftp_user)
        except KeyError:
            fail("user %r does not exist" % args.ftp_user)
        empty = "/var/run/vsftpd/empty"
        if not os.path.isdir(empty):
            os.makedirs(empty, mode=0o755, exist_ok=True)
        os.chmod(root, 0o755)
        os.chown(root, 0, 0)
        upload = os.path.join(root, "upload")
        os.makedirs(upload, exist_ok=True)
        os.chown(upload, ent.pw_uid, ent.pw_gid)
        os.chmod(upload, 0o755)
        lines += ["ftp_username=" + args.ftp_user, "secure_chroot_dir=" + empty]
    else:
        lines += ["run_as_launching_user=YES", "secure_chroot_dir=" + work]

    proc = None
    for _attempt in range(5):
        port = free_port()
        conf = os.path.join(work, "vsftpd.conf")
        with open(conf, "w", encoding="ascii") as f:
            f.write("\n".join(lines + ["listen_port=%d" % port]) + "\n")
        os.chmod(conf, 0o600)
        proc = subprocess.Popen([binary, conf], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
        deadline = time.monotonic() + 5
        up = False
        while time.monotonic() < deadline and proc.poll() is None:
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=0.5) as s:
                    s.settimeout(2)
                    if args.implicit:
                        probe = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
                        probe.check_hostname = False
                        probe.verify_mode = ssl.CERT_NONE
                        with probe.wrap_socket(s) as t:
                            up = t.recv(4).startswith(b"220")
                    else:
                        up = s.recv(4).startswith(b"220")
                break
            except (OSError, ssl.SSLError):
                time.sleep(0.05)
        if up:
            break
        if proc.poll() is None:
            proc.kill()
        err = proc.communicate()[1].decode("utf-8", "replace").strip()
        proc = None
        if "Address already in use" not in err:
            fail("vsftpd does not start here: " + (err or "no greeting"))
    if proc is None:
        fail("vsftpd found no free port")

    def stop(*_):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(2)
            except subprocess.TimeoutExpired:
                proc.kill()
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("PORT %d" % port, flush=True)
    parent = os.getppid()
    deadline = time.monotonic() + args.lifetime
    while time.monotonic() < deadline and os.getppid() == parent and proc.poll() is None:
        time.sleep(0.5)
    stop()


if __name__ == "__main__":
    main()
