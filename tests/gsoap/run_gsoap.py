#!/usr/bin/env python3
"""Builds (when its sources changed) and starts, or stops, the gSOAP rates
server of the round-trip tests:  run_gsoap.py start|stop <state dir>.
The server picks a free loopback port and publishes it as <dir>/rates.port;
its process id goes to <dir>/rates.run.pid."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "servers"))
import run_servers  # noqa: E402  (process helpers shared by the fixtures)
SOURCES = [os.path.join(HERE, "rates_service.h"), os.path.join(HERE, "rates_server.cpp"), __file__]


def build(state):
    gen = os.path.join(state, "gen")
    exe = os.path.join(state, "rates_server")
    if os.path.exists(exe) and all(os.path.getmtime(exe) > os.path.getmtime(s) for s in SOURCES):
        return exe
    os.makedirs(gen, exist_ok=True)
    # -1: SOAP 1.1 only, -S: server side, -L: no sample apps, -x: no sample messages
    subprocess.run(["soapcpp2", "-1", "-S", "-L", "-x", "-d", gen, os.path.join(HERE, "rates_service.h")],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["g++", "-O1", "-w", "-I", gen, "-o", exe + ".tmp", os.path.join(HERE, "rates_server.cpp"),
                    os.path.join(gen, "soapC.cpp"), os.path.join(gen, "soapServer.cpp"), "-lgsoap++"],
                   check=True)
    os.replace(exe + ".tmp", exe)
    return exe


def stop(state):
    run_servers.stop_pid_files(state, ("rates.run.pid",))


def main():
    action, state = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(state, exist_ok=True)
    stop(state)  # leftovers of an interrupted run
    if action == "stop":
        return 0
    exe = build(state)
    port_file = os.path.join(state, "rates.port")
    return 0 if run_servers.start_until_port_file([exe, port_file], state, "rates", port_file) else 1


if __name__ == "__main__":
    sys.exit(main())
