#!/usr/bin/python3
"""Starts a local demo FTP server, makes sure a "Demo" site profile points at
it, runs Zyfar, and stops the server when Zyfar exits.

The demo keeps its settings, profiles and logs under .demo/ (its own XDG
folders), so it never touches the user's own Zyfar settings. Before the
window opens, a headless link run sends a file to the demo site while the
server is not up yet: the put fails and is queued. The window then starts
with "send the queue at start", so its resend timer sends the file again
in a transfer window a few seconds after it opens, and the log view shows it."""
import argparse
import os
import socket
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


DEMO = os.path.join(ROOT, ".demo")


def demo_environment():
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = os.path.join(DEMO, "config")
    env["XDG_DATA_HOME"] = os.path.join(DEMO, "data")
    env["XDG_STATE_HOME"] = os.path.join(DEMO, "state")
    return env


def settings_file(env):
    return os.path.join(env["XDG_CONFIG_HOME"], "Quorvane", "Zyfar.ini")


def profile_base(env):
    base = ini_value(settings_file(env), "CONFIG", "ProfilePath")
    if base:
        return base
    return os.path.join(env["XDG_DATA_HOME"], "Quorvane", "Zyfar")


def write_private(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    fd = os.open(path + ".tmp", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def prepare_settings(env):
    """A first demo start gets an e-mail address, the bars, a larger window,
    and the queue settings the demo shows (queue failed puts, send the
    queue at start, resend every minute). Later starts keep what the user
    changed."""
    path = settings_file(env)
    if os.path.exists(path):
        return
    write_private(path, "[CONFIG]\nEmail=demo@localhost\nToolBar=1\nProfileBar=1\nStatusBar=1\n"
                        "StartScreen=REMOTE_LOCAL\n"
                        "[Dimensions\\Main\\Mainframe]\nWidth=1100\nHeight=720\nx=40\ny=40\n"
                        "[Dimensions\\Main\\split1]\nRow0=480\nRow1=180\nNumRows=2\nCol0=1100\nNumCols=1\n"
                        "[SCHEDULE]\nResendFail=1\nStartQueueProg=1\nResendTime=1\n")


def set_ini_keys(path, section, values):
    """Sets keys of one section of an INI file, keeping every other line."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    out, inside, pending = [], False, dict(values)

    def flush():
        for key, value in pending.items():
            out.append("%s=%s" % (key, value))
        pending.clear()

    for line in lines:
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            if inside:
                flush()
            inside = stripped[1:-1] == section
        elif inside and "=" in stripped and stripped.split("=", 1)[0] in pending:
            key = stripped.split("=", 1)[0]
            out.append("%s=%s" % (key, pending.pop(key)))
            continue
        out.append(line)
    if pending:
        if not inside:
            out.append("[%s]" % section)
        flush()
    write_private(path, "\n".join(out) + "\n")


def write_link(env, local_file):
    """A file list with one local file and a link that sends it to Demo."""
    base = profile_base(env)
    files = os.path.join(base, "Files", "Demo files")
    write_private(os.path.join(files, "flist.ini"),
                  "[LIST]\nNumItems=1\n[FILE1]\nLocalName=%s\nFolder=%s\nRemoteName=%s\nSize=%d\n"
                  % (os.path.basename(local_file), os.path.dirname(local_file) + "/",
                     os.path.basename(local_file), os.path.getsize(local_file)))
    write_private(os.path.join(base, "Links", "Demo send.ini"),
                  "[LinkItems]\nFiles=%s\nSites=1\n[SITE1]\nSITE=%s\n"
                  % (os.path.join(files, "flist.ini"), os.path.join(base, "Profiles", "Demo.ini")))


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


def write_profile(env, port):
    folder = os.path.join(profile_base(env), "Profiles")
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zyfar", required=True)
    args, rest = parser.parse_known_args()

    env = demo_environment()
    demo_root = os.path.join(DEMO, "root")
    make_demo_tree(demo_root)
    local_file = os.path.join(DEMO, "local", "report.txt")
    os.makedirs(os.path.dirname(local_file), exist_ok=True)
    with open(local_file, "w", encoding="utf-8") as f:
        f.write("A report the demo sends to the server.\n" * 200)

    prepare_settings(env)
    port = free_port()
    profile = write_profile(env, port)
    # "Last Connection" offers the demo server on this run's port; passive data
    # connections, as most servers behind routers need.
    set_ini_keys(settings_file(env), "FTP", {"QuickServer": "127.0.0.1", "QuickLogin": "demo",
                                             "QuickPasswd": "demo", "QuickDirec": "/", "QuickPort": port, "Passive": "YES"})
    write_link(env, local_file)

    # Nobody listens on the port yet: the put fails and goes to the queue.
    print("Queueing a put that fails (the demo server is not up yet) ...")
    subprocess.call([args.zyfar, "--headless", "-l", "Demo send"], env=env,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    authorizer = DummyAuthorizer()
    authorizer.add_user("demo", "demo", demo_root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Zyfar demo server ready."
    server = FTPServer(("127.0.0.1", port), handler)
    thread = threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.5}, daemon=True)
    thread.start()

    print("Demo FTP server on 127.0.0.1:%d (user demo, password demo), root %s" % (port, demo_root))
    print("Site profile: %s" % profile)
    print("Settings: %s" % settings_file(env))
    try:
        status = subprocess.call([args.zyfar] + rest, env=env)
    except KeyboardInterrupt:
        status = 130
    finally:
        server.close_all()
    return status


if __name__ == "__main__":
    sys.exit(main())
