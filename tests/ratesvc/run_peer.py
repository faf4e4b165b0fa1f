#!/usr/bin/env python3
"""Starts (start <dir>) or stops (stop <dir>) rate_peer.py for the tests of
the Windows build, which cannot start a Linux program themselves. The peer's
ports and certificate appear in <dir> as rate_peer.py describes; its process
id goes to <dir>/peer.pid."""
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def start(state):
    os.makedirs(state, exist_ok=True)
    stop(state)  # one left by a run that never stopped it (ctest --repeat starts fixtures again)
    for name in ("plain.port", "tls.port", "rates.xml"):
        if os.path.exists(os.path.join(state, name)):
            os.remove(os.path.join(state, name))
    peer = subprocess.Popen([sys.executable, os.path.join(HERE, "rate_peer.py"), state],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(state, "peer.pid"), "w") as f:
        f.write(str(peer.pid))
    deadline = time.monotonic() + 20
    while not os.path.exists(os.path.join(state, "plain.port")):
        if peer.poll() is not None or time.monotonic() > deadline:
            sys.exit("rate_peer.py did not start")
        time.sleep(0.05)


def stop(state):
    pid_file = os.path.join(state, "peer.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read())
        os.remove(pid_file)  # a later start must not signal whoever has the number then
        os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        pass


if __name__ == "__main__":
    {"start": start, "stop": stop}[sys.argv[1]](os.path.abspath(sys.argv[2]))
