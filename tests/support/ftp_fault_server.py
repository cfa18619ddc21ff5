#!/usr/bin/python3
"""Scripted FTP fault server for tests (Python standard library only).

Binds 127.0.0.1 (or ::1 with --ipv6) on a free port, prints "PORT <n>" on
stdout, then serves control connections, each on its own thread, following a
JSON script. Every command line received is appended to the --log file as it
arrived (without its line end), and each new control connection adds the line
"#CONNECT"; finished uploads add "#STORED <bytes>". The log is flushed before
the reply is sent, so a client that has read a reply finds its command logged.

Script keys (all optional):
  mode        "ftp" (default), "silent" (accept, never send a byte),
              "close" (accept and close at once), "backlog" (listen with a
              full backlog and never accept: connects time out)
  greeting    reply text sent on connect ("220 Fault server ready"); a text
              with "\n" is sent as several lines; a {"repeat": line,
              "count": n, "last": line} object sends count copies of line
  after_greeting  "stall": read and log commands but never answer
  feat        list of feature lines for FEAT (default MLST/SIZE/MDTM/EPSV/UTF8)
  replies     {VERB: reply} fixed replies (text, repeat object, or
              {"drop": true} to close the control connection, or
              {"stall": true} to never answer)
  pasv_address  address written into PASV replies (the listener is always
              on the loopback address)
  epsv        false: EPSV is answered with 500
  files       {path: text} contents for RETR and SIZE
  file_sizes  {path: n} generated contents of n bytes (i % 251)
  listing     text sent for LIST;  mlsd: text sent for MLSD (absent: 500)
  transfer    {VERB: {...}} behaviour of RETR/LIST/MLSD/STOR:
                "reply": answer this instead of starting the transfer
                "send_bytes": n  send only the first n bytes
                "outcome": "ok" | "426" (close data, reply 426) |
                           "drop" (close data and control) |
                           "stall" (keep the data connection open, send
                           nothing more; ABOR ends it)
  active_source  address the server's active-mode data connections come
              from (e.g. "127.0.0.2": a peer the client must turn away)
  abor_replies  replies to ABOR during a stalled transfer
                (default ["426 Transfer aborted.", "226 ABOR successful."])

Files on disk, resumed transfers and hashes:
  --root DIR  files not named in "files" / "file_sizes" are read from DIR
              (RETR, SIZE, MDTM from the file's time, hashes); LIST of a
              folder in it lists its files when the script has no "listing"
  store       true: STOR and APPE write into DIR (else uploads are counted
              and dropped); a "send_bytes" limit keeps only that many bytes
  rest        true: REST n is accepted ("350") and FEAT offers REST STREAM;
              the next RETR starts at n, the next STOR writes from n on.
              Absent or false: REST is answered 502 and not offered.
  appe        false: APPE is answered 502 (default: APPE appends)
  mdtm        {path: "YYYYMMDDHHMMSS"} MDTM answers for paths
  hash        {"algorithms": ["SHA-256", "SHA-1", "MD5"], "selected": name}:
              FEAT offers HASH with that list (the selected one marked
              "*"), OPTS HASH selects, HASH answers
              "213 <alg> 0-<size> <hex> <path>" over the file's real bytes
  x_hash      ["XSHA256", "XSHA1", "XMD5"]: FEAT offers them; each answers
              "213 <hex>"
  wrong_hash  true: every hash answered has its first digit changed
  transfer rules may carry "times": n, applying only to the first n
              transfers of that verb (over all connections); later ones
              run normally
"""
import argparse
import hashlib
import json
import os
import socket
import sys
import threading
import time

from server_lifetime import end_with_parent

LOG_LOCK = threading.Lock()
ROOT = None
RULE_LOCK = threading.Lock()
RULE_USES = {}
HASHES = {"SHA-256": hashlib.sha256, "SHA-1": hashlib.sha1, "MD5": hashlib.md5}
X_HASHES = {"XSHA256": "SHA-256", "XSHA1": "SHA-1", "XMD5": "MD5"}


def log_line(path, text):
    if not path:
        return
    with LOG_LOCK:
        with open(path, "a", encoding="latin-1", newline="") as f:
            f.write(text + "\n")
            f.flush()


def reply_bytes(rule):
    if isinstance(rule, dict) and "repeat" in rule:
        body = (rule["repeat"] + "\r\n") * int(rule.get("count", 1))
        return (body + rule.get("last", "") + ("\r\n" if rule.get("last") else "")).encode("latin-1")
    text = str(rule)
    return "".join(line + "\r\n" for line in text.split("\n")).encode("latin-1")


def generated(n):
    pattern = bytes(i % 251 for i in range(251))
    reps, rest = divmod(n, 251)
    return pattern * reps + pattern[:rest]


class Session:
    def __init__(self, conn, script, log, family):
        self.conn = conn
        self.script = script
        self.log = log
        self.family = family
        self.pasv_listener = None
        self.active_addr = None
        self.stalled_data = None
        self.buf = b""
        self.rest = 0
        hash_rule = script.get("hash") or {}
        self.hash_selected = hash_rule.get("selected", (hash_rule.get("algorithms") or ["SHA-256"])[0])

    # -- plumbing --
    def send(self, data):
        self.conn.sendall(data)

    def reply(self, rule):
        self.send(reply_bytes(rule))

    def read_line(self):
        while b"\n" not in self.buf:
            chunk = self.conn.recv(65536)
            if not chunk:
                return None
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        if line.endswith(b"\r"):
            line = line[:-1]
        return line.decode("latin-1")

    def open_data(self):
        if self.pasv_listener is not None:
            self.pasv_listener.settimeout(10)
            try:
                data, _ = self.pasv_listener.accept()
            finally:
                self.pasv_listener.close()
                self.pasv_listener = None
            return data
        if self.active_addr is not None:
            fam = socket.AF_INET6 if ":" in self.active_addr[0] else socket.AF_INET
            data = socket.socket(fam, socket.SOCK_STREAM)
            data.settimeout(10)
            if "active_source" in self.script:
                data.bind((self.script["active_source"], 0))
            data.connect(self.active_addr)
            self.active_addr = None
            return data
        return None

    # -- files --
    def disk_path(self, arg):
        if ROOT is None or not arg or "\x00" in arg:
            return None
        parts = [p for p in arg.split("/") if p not in ("", ".")]
        if ".." in parts:
            return None
        return os.path.join(ROOT, *parts)

    def file_bytes(self, arg):
        """The contents of a file, or None."""
        files = self.script.get("files", {})
        sizes = self.script.get("file_sizes", {})
        if arg in files:
            return files[arg].encode("latin-1")
        if arg in sizes:
            return generated(int(sizes[arg]))
        path = self.disk_path(arg)
        if path is not None and os.path.isfile(path):
            with open(path, "rb") as f:
                return f.read()
        return None

    def disk_listing(self, arg):
        """LIST of a folder under --root ("" for anything else)."""
        path = self.disk_path(arg.split(" ")[-1] if arg else "/") if ROOT else None
        if path is None or not os.path.isdir(path):
            return ""
        lines = []
        for name in sorted(os.listdir(path)):
            full = os.path.join(path, name)
            kind = "d" if os.path.isdir(full) else "-"
            lines.append("%srw-r--r--   1 u g %d Jan 01  2024 %s\r\n" % (kind, os.path.getsize(full), name))
        return "".join(lines)

    def rule_for(self, verb):
        rule = self.script.get("transfer", {}).get(verb, {})
        if "times" in rule:
            with RULE_LOCK:
                used = RULE_USES.get(verb, 0)
                RULE_USES[verb] = used + 1
            if used >= int(rule["times"]):
                return {}
        return rule

    def hash_hex(self, algorithm, data):
        hexed = HASHES[algorithm](data).hexdigest()
        if self.script.get("wrong_hash"):
            hexed = ("1" if hexed[0] != "1" else "2") + hexed[1:]
        return hexed

    def feat_lines(self):
        feats = list(self.script.get("feat", ["MLST type*;size*;modify*;", "SIZE", "MDTM", "EPSV", "UTF8"]))
        if self.script.get("rest") and "REST STREAM" not in feats:
            feats.append("REST STREAM")
        hash_rule = self.script.get("hash")
        if hash_rule:
            feats.append("HASH " + ";".join(a + ("*" if a == self.hash_selected else "")
                                            for a in hash_rule.get("algorithms", ["SHA-256"])))
        feats.extend(self.script.get("x_hash", []))
        return feats

    def do_hash(self, verb, arg):
        data = self.file_bytes(arg)
        if data is None:
            self.reply("550 No such file.")
        elif verb == "HASH":
            self.reply("213 %s 0-%d %s %s" % (self.hash_selected, len(data), self.hash_hex(self.hash_selected, data), arg))
        else:
            self.reply("213 " + self.hash_hex(X_HASHES[verb], data))

    def do_opts(self, arg):
        name, _, value = arg.partition(" ")
        algorithms = (self.script.get("hash") or {}).get("algorithms", [])
        if name.upper() != "HASH" or not self.script.get("hash"):
            self.reply("200 OK.")
        elif value.upper() in algorithms:
            self.hash_selected = value.upper()
            self.reply("200 " + self.hash_selected)
        else:
            self.reply("504 Unknown algorithm.")

    # -- commands --
    def passive_listener(self):
        if self.pasv_listener is not None:
            self.pasv_listener.close()
        host = "::1" if self.family == socket.AF_INET6 else "127.0.0.1"
        lst = socket.socket(self.family, socket.SOCK_STREAM)
        lst.bind((host, 0))
        lst.listen(1)
        self.pasv_listener = lst
        return lst.getsockname()[1]

    def do_transfer(self, verb, arg):
        offset, self.rest = self.rest, 0
        rule = self.rule_for(verb)
        if "reply" in rule:
            self.reply(rule["reply"])
            return True
        payload = b""
        if verb == "RETR":
            payload = self.file_bytes(arg)
            if payload is None:
                self.reply("550 No such file.")
                return True
            if offset > len(payload):
                self.reply("554 Invalid REST parameter.")
                return True
            payload = payload[offset:]
        elif verb == "LIST":
            payload = self.script.get("listing", self.disk_listing(arg)).encode("latin-1")
        elif verb == "MLSD":
            if "mlsd" not in self.script:
                self.reply("500 Unknown command.")
                return True
            payload = self.script["mlsd"].encode("latin-1")
        data = self.open_data()
        if data is None:
            self.reply("425 Use PORT or PASV first.")
            return True
        self.reply(rule.get("preliminary", "150 Opening data connection."))
        outcome = rule.get("outcome", "ok")
        if verb in ("STOR", "APPE"):
            total = 0
            limit = rule.get("send_bytes")
            data.settimeout(30)
            received = []
            while True:
                chunk = data.recv(65536)
                if not chunk:
                    break
                total += len(chunk)
                received.append(chunk)
                if limit is not None and total >= int(limit):
                    break
            body = b"".join(received)
            if limit is not None:
                body = body[: int(limit)]
                total = min(total, int(limit))
            self.store(verb, arg, offset, body)
            log_line(self.log, "#STORED %d" % total)
        else:
            if "send_bytes" in rule:
                payload = payload[: int(rule["send_bytes"])]
            try:
                data.sendall(payload)
            except OSError:
                pass
        if outcome == "stall":
            self.stalled_data = data
            return True
        if outcome == "drop":
            data.close()
            return False
        data.close()
        if outcome == "426":
            self.reply("426 Connection closed; transfer aborted.")
        else:
            self.reply(rule.get("final", "226 Transfer complete."))
        return True

    def store(self, verb, arg, offset, body):
        path = self.disk_path(arg)
        if not self.script.get("store") or path is None:
            return
        if verb == "APPE" and os.path.exists(path):
            with open(path, "ab") as f:
                f.write(body)
            return
        mode = "r+b" if offset > 0 and os.path.exists(path) else "wb"
        with open(path, mode) as f:
            f.truncate(offset if mode == "r+b" else 0)
            f.seek(offset if mode == "r+b" else 0)
            f.write(body)

    def handle(self, verb, arg):
        """Returns False when the control connection is to be closed."""
        fixed = self.script.get("replies", {})
        if verb in fixed:
            rule = fixed[verb]
            if isinstance(rule, dict) and rule.get("drop"):
                return False
            if isinstance(rule, dict) and rule.get("stall"):
                return True
            self.reply(rule)
            return verb != "QUIT"
        if verb == "USER":
            self.reply("331 Password required.")
        elif verb == "PASS":
            self.reply("230 Logged in.")
        elif verb == "FEAT":
            self.reply("\n".join(["211-Features:"] + [" " + f for f in self.feat_lines()] + ["211 End"]))
        elif verb == "PWD":
            self.reply('257 "/" is the current directory.')
        elif verb in ("CWD", "RMD", "DELE", "RNTO"):
            self.reply("250 OK.")
        elif verb == "MKD":
            self.reply('257 "%s" created.' % arg.replace('"', '""'))
        elif verb == "RNFR":
            self.reply("350 Ready for destination name.")
        elif verb == "OPTS":
            self.do_opts(arg)
        elif verb == "REST" and self.script.get("rest"):
            if not arg.isdigit():
                self.reply("501 Bad REST.")
            else:
                self.rest = int(arg)
                self.reply("350 Restarting at %d." % self.rest)
        elif verb == "HASH" and self.script.get("hash"):
            self.do_hash(verb, arg)
        elif verb in X_HASHES and verb in self.script.get("x_hash", []):
            self.do_hash(verb, arg)
        elif verb in ("TYPE", "NOOP", "MODE", "STRU"):
            self.reply("200 OK.")
        elif verb == "SYST":
            self.reply("215 UNIX Type: L8")
        elif verb == "SIZE":
            data = self.file_bytes(arg)
            if data is None:
                self.reply("550 No such file.")
            else:
                self.reply("213 %d" % len(data))
        elif verb == "MDTM":
            path = self.disk_path(arg)
            if arg in self.script.get("mdtm", {}):
                self.reply("213 " + self.script["mdtm"][arg])
            elif path is not None and os.path.isfile(path) and arg not in self.script.get("files", {}):
                self.reply("213 " + time.strftime("%Y%m%d%H%M%S", time.gmtime(os.stat(path).st_mtime)))
            else:
                self.reply("213 20240102030405")
        elif verb == "PASV":
            port = self.passive_listener()
            addr = self.script.get("pasv_address", "127.0.0.1").replace(".", ",")
            self.reply("227 Entering Passive Mode (%s,%d,%d)." % (addr, port // 256, port % 256))
        elif verb == "EPSV":
            if self.script.get("epsv", True) is False:
                self.reply("500 EPSV not understood.")
            else:
                port = self.passive_listener()
                self.reply("229 Entering Extended Passive Mode (|||%d|)." % port)
        elif verb == "PORT":
            parts = arg.split(",")
            if len(parts) != 6:
                self.reply("501 Bad PORT.")
            else:
                self.active_addr = (".".join(parts[:4]), int(parts[4]) * 256 + int(parts[5]))
                self.reply("200 PORT OK.")
        elif verb == "EPRT":
            fields = arg.split(arg[:1]) if arg else []
            if len(fields) < 4:
                self.reply("501 Bad EPRT.")
            else:
                self.active_addr = (fields[2], int(fields[3]))
                self.reply("200 EPRT OK.")
        elif verb == "APPE" and self.script.get("appe") is False:
            self.reply("502 Command not implemented.")
        elif verb in ("RETR", "LIST", "MLSD", "STOR", "NLST", "APPE"):
            return self.do_transfer(verb, arg)
        elif verb == "ABOR":
            if self.stalled_data is not None:
                self.stalled_data.close()
                self.stalled_data = None
                for r in self.script.get("abor_replies", ["426 Transfer aborted.", "226 ABOR successful."]):
                    self.reply(r)
            else:
                self.reply("225 No transfer to abort.")
        elif verb == "QUIT":
            self.reply("221 Goodbye.")
            return False
        else:
            self.reply("502 Command not implemented.")
        return True

    def run(self):
        try:
            self.reply(self.script.get("greeting", "220 Fault server ready."))
            stall = self.script.get("after_greeting") == "stall"
            while True:
                line = self.read_line()
                if line is None:
                    break
                log_line(self.log, line)
                if stall:
                    continue
                verb, _, arg = line.partition(" ")
                if not self.handle(verb.upper(), arg):
                    break
        except OSError:
            pass
        finally:
            for s in (self.stalled_data, self.pasv_listener):
                if s is not None:
                    s.close()
            try:
                self.conn.close()
            except OSError:
                pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--script", required=True)
    ap.add_argument("--log", default="")
    ap.add_argument("--ipv6", action="store_true")
    ap.add_argument("--lifetime", type=float, default=300)
    ap.add_argument("--root", default=None)
    args = ap.parse_args()
    global ROOT
    ROOT = args.root
    with open(args.script, encoding="utf-8") as f:
        script = json.load(f)
    end_with_parent(args.lifetime)

    family = socket.AF_INET6 if args.ipv6 else socket.AF_INET
    host = "::1" if args.ipv6 else "127.0.0.1"
    mode = script.get("mode", "ftp")
    lst = socket.socket(family, socket.SOCK_STREAM)
    lst.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    lst.bind((host, 0))
    port = lst.getsockname()[1]
    held = []
    if mode == "backlog":
        # A listener that never accepts, its queue filled by our own
        # connections: further connection attempts are left unanswered.
        lst.listen(0)
        for _ in range(16):
            c = socket.socket(family, socket.SOCK_STREAM)
            c.setblocking(False)
            try:
                c.connect((host, port))
            except BlockingIOError:
                pass
            held.append(c)
        time.sleep(0.3)
        print("PORT %d" % port, flush=True)
        while True:
            time.sleep(1)
    lst.listen(16)
    print("PORT %d" % port, flush=True)
    while True:
        conn, _ = lst.accept()
        log_line(args.log, "#CONNECT")
        if mode == "silent":
            held.append(conn)
            continue
        if mode == "close":
            conn.close()
            continue
        threading.Thread(target=Session(conn, script, args.log, family).run, daemon=True).start()


# ---- listing floods (listing budget tests) ---------------------------------
# Script key "listing_flood" (LIST only): {"prefix": text, "name_bytes": n,
# "line_end": "\r\n", "count": lines, "max_bytes": cap}. Sends `count` lines
# (absent: without end, up to max_bytes, default 64 MiB) of prefix + a name
# of n bytes ("n" then the line number), stopping when the client closes the
# data connection; then the usual 226.
_plain_do_transfer = Session.do_transfer


def _flood_do_transfer(self, verb, arg):
    flood = self.script.get("listing_flood")
    if verb != "LIST" or not flood:
        return _plain_do_transfer(self, verb, arg)
    data = self.open_data()
    if data is None:
        self.reply("425 Use PORT or PASV first.")
        return True
    self.reply("150 Opening data connection.")
    prefix = flood.get("prefix", "-rw-r--r-- 1 u g 1 Jan 15 10:30 ").encode("latin-1")
    name_bytes = int(flood.get("name_bytes", 8))
    line_end = flood.get("line_end", "\r\n").encode("latin-1")
    count = flood.get("count")
    cap = int(flood.get("max_bytes", 64 << 20))
    sent = 0
    i = 0
    try:
        while (count is None or i < int(count)) and sent < cap:
            tag = b"n%d" % i
            line = prefix + tag + b"x" * max(0, name_bytes - len(tag)) + line_end
            data.sendall(line)
            sent += len(line)
            i += 1
    except OSError:
        pass
    data.close()
    self.reply("226 Transfer complete.")
    return True


Session.do_transfer = _flood_do_transfer


if __name__ == "__main__":
    sys.exit(main())
