#!/usr/bin/python3
"""Starts a local demo FTP server, makes sure a "Demo" site profile points at
it, runs Zyfar, and stops the server when Zyfar exits."""
import argparse
import os
import subprocess
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def xdg(var, fallback):
    value = os.environ.get(var, "")
    return value if value.startswith("/") else os.path.join(os.path.expanduser("~"), fallback)


def ini_value(path, section, key):
    """First value of key in section (names without regard to case), or None."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            current = None
            for line in f:
                line = line.strip()
                if line.startswith("[") and "]" in line:
                    current = line[1:line.index("]")].strip().lower()
                elif current == section.lower() and "=" in line:
                    k, v = line.split("=", 1)
                    if k.strip().lower() == key.lower():
                        return v.strip()
    except OSError:
        pass
    return None


def profile_base():
    settings = os.path.join(xdg("XDG_CONFIG_HOME", ".config"), "Quorvane", "Zyfar.ini")
    base = ini_value(settings, "CONFIG", "ProfilePath")
    if base:
        return base
    return os.path.join(xdg("XDG_DATA_HOME", ".local/share"), "Quorvane", "Zyfar")


def make_demo_tree(root):
    files = {
        "README.txt": "Welcome to the Zyfar demo server.\nUser demo, password demo.\n",
        "docs/guide.txt": "Drag files between the panes to copy them.\n" * 20,
        "docs/notes.md": "# Notes\n\n- one\n- two\n",
        "pub/data.bin": None,
        "pub/images/logo.svg": '<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"/>\n',
        "upload/.keep": "",
    }
    for name, text in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if os.path.exists(path):
            continue
        if text is None:
            with open(path, "wb") as f:
                f.write(bytes(range(256)) * 4096)  # 1 MiB
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)


def write_profile(port):
    folder = os.path.join(profile_base(), "Profiles")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "Demo.ini")
    if os.path.exists(path):
        # Keep the user's profile, but point it at this run's port.
        lines = open(path, encoding="utf-8", errors="replace").read().splitlines()
        lines = [("Port=%d" % port) if l.strip().lower().startswith("port") and "=" in l else l
                 for l in lines]
        text = "\n".join(lines) + "\n"
    else:
        text = ("[Settings]\nHost=127.0.0.1\nUser=demo\nPassword=demo\nRemote Path=/\n"
                "Description=Local demo server\nPort=%d\n" % port)
    fd = os.open(path + ".tmp", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)
    return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zyfar", required=True)
    args, rest = parser.parse_known_args()

    demo_root = os.path.join(ROOT, ".demo", "root")
    make_demo_tree(demo_root)

    authorizer = DummyAuthorizer()
    authorizer.add_user("demo", "demo", demo_root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Zyfar demo server ready."
    server = FTPServer(("127.0.0.1", 0), handler)
    port = server.socket.getsockname()[1]
    thread = threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.5}, daemon=True)
    thread.start()

    profile = write_profile(port)
    print("Demo FTP server on 127.0.0.1:%d (user demo, password demo), root %s" % (port, demo_root))
    print("Site profile: %s" % profile)
    try:
        status = subprocess.call([args.zyfar] + rest)
    except KeyboardInterrupt:
        status = 130
    finally:
        server.close_all()
    return status


if __name__ == "__main__":
    sys.exit(main())
