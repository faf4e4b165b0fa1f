#!/usr/bin/env python3
"""Starts (start <dir> <ratesvc> <rates> <namespace>) or stops (stop <dir>)
the servers of the rate-client and GET tests: the local rate service, the
scripted raw server of tests/servers, and a port nothing listens on. Ports
are chosen at run time and published as <dir>/ratesvc.port, <dir>/raw.port
and <dir>/closed.port, the service's namespace as
<dir>/ratesvc.namespace; the service's --verbose lines (what each call
received) go to <dir>/ratesvc.log.

When the service binary does not exist (a Windows build made without the
native one), start writes the reason to <dir>/ratesvc.missing and succeeds:
the tests then skip with that reason instead of failing."""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "servers"))
import run_servers  # noqa: E402  (the raw server's start and stop)


def remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def stop(state):
    pid_file = os.path.join(state, "ratesvc.run.pid")
    if os.path.exists(pid_file):
        try:
            pid = int(open(pid_file).read())
            os.kill(pid, signal.SIGTERM)
            # Let it finish its clean stop so a sanitizer report, if any, lands in the log.
            for _ in range(100):
                os.kill(pid, 0)
                time.sleep(0.05)
        except (OSError, ValueError):
            pass
        remove(pid_file)


def start(state, binary, rates, namespace):
    run_servers.write(os.path.join(state, "closed.port"), str(run_servers.free_port()))
    if not run_servers.start_raw(state):
        print("raw server did not start; see", os.path.join(state, "raw.log"))
        return 1
    for name in os.listdir(state):
        # Request counts and bodies of earlier runs, too.
        if name in ("ratesvc.port", "ratesvc.missing", "ratesvc.log") or name.startswith(("count-", "body-")):
            remove(os.path.join(state, name))
    if not os.access(binary, os.X_OK):
        reason = ("the local rate service %s is not built (build the native preset first, "
                  "or set ZELVANE_NATIVE_RATESVC)" % binary)
        with open(os.path.join(state, "ratesvc.missing"), "w") as f:
            f.write(reason)
        print(reason)
        return 0
    # The tests give their clients the namespace the service was started with.
    run_servers.write(os.path.join(state, "ratesvc.namespace"), namespace)
    port_file = os.path.join(state, "ratesvc.port")
    args = [binary, "--rates", rates, "--port", "0", "--port-file", port_file, "--namespace", namespace, "--verbose"]
    return 0 if run_servers.start_until_port_file(args, state, "ratesvc", port_file) else 1


def main():
    action, state = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(state, exist_ok=True)
    # Leftovers of an interrupted run go first.
    stop(state)
    run_servers.stop(state)
    if action == "stop":
        return 0
    if start(state, *sys.argv[3:6]) != 0:
        run_servers.stop(state)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
