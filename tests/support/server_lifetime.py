"""How the test servers end on their own: after `lifetime` seconds, or as soon
as the process that started them is gone, so a crashed test never leaves a
server behind."""
import os
import threading
import time


def _watch(lifetime):
    parent = os.getppid()
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline and os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def end_with_parent(lifetime):
    """Starts the watch on a daemon thread."""
    threading.Thread(target=_watch, args=(lifetime,), daemon=True).start()
