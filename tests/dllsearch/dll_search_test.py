#!/usr/bin/env python3
"""DLL planting under Wine: each executable is copied into a folder of its
own beside copies of planted.dll named as the DLLs it loads by name, driven
until it has loaded one of them, and must have taken System32's copy.

Wine prefers its builtin DLLs: a planted copy of a DLL it builds in is
loaded only with "name=n,b" in WINEDLLOVERRIDES, which a Windows loader
needs no such hint for. version.dll is not planted: Wine's own user32
imports it, so it is mapped at every start before any of the program's
code runs (Windows' user32 does not import it).

  dll_search_test.py --work DIR --planted planted.dll --control unguarded_loader.exe
                     --zelvane Zelvane.exe --ratesvc zelvane-ratesvc.exe
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = os.path.join(ROOT, "tools", "wine-exec.sh")
# The program's delay-loaded DLLs (ws2_32 loads at GET), and the download
# child's WinHTTP.
PROGRAM_DLLS = ["winmm", "wininet", "crypt32", "oleaut32", "shell32", "ws2_32"]
SERVICE_DLLS = ["winhttp"]

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def wait_until(pred, timeout):
    deadline = time.monotonic() + timeout
    while not pred():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.2)
    return True


def plant(folder, exe, planted, dlls):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(exe, folder)
    for name in dlls:
        shutil.copy(planted, os.path.join(folder, name + ".dll"))
    # No debugger for a process that a planted DLL without the DLL's
    # functions brings down: it would wait on the display for ever.
    env = dict(os.environ, WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe=;%s=n,b" % ",".join(dlls))
    return os.path.join(folder, os.path.basename(exe)), env


def loaded_planted(folder):
    return sorted(n for n in os.listdir(folder) if n.endswith(".loaded"))


def wine_pid(folder, name):
    """The Linux pid of the Wine process running folder/name."""
    needle = name.lower().encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            cmdline = open("/proc/%s/cmdline" % pid, "rb").read().lower()
        except OSError:
            continue
        if needle in cmdline and os.path.basename(folder).lower().encode() in cmdline:
            return int(pid)
    return None


def maps(pid):
    try:
        return open("/proc/%d/maps" % pid).read().lower()
    except OSError:
        return ""


def control(args):
    """A program without the limit loads the planted copy: the test can fail."""
    folder = os.path.join(args.work, "control")
    exe, env = plant(folder, args.control, args.planted, ["winmm"])
    subprocess.run([WINE, exe], cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)
    check(loaded_planted(folder) == ["winmm.dll.loaded"], "the unguarded control loads the planted winmm.dll")


def program(args):
    folder = os.path.join(args.work, "program")
    exe, env = plant(folder, args.zelvane, args.planted, PROGRAM_DLLS)
    proc = subprocess.Popen([WINE, exe], cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = ""
        deadline = time.monotonic() + 60
        while not window and time.monotonic() < deadline:
            window = subprocess.run(["xdotool", "search", "--name", "^Kesuna$"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True).stdout.split("\n")[0]
            time.sleep(0.2)
        if not check(bool(window), "the program's main dialog appears"):
            return
        pid = wine_pid(folder, "zelvane.exe")
        time.sleep(1)
        # GET is the default button: Winsock is loaded at its first call.
        subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "Return"], timeout=30)
        check(pid is not None and wait_until(lambda: "ws2_32.dll" in maps(pid) or loaded_planted(folder), 30),
              "GET loads ws2_32.dll")
        check(loaded_planted(folder) == [], "the program loads no planted DLL: %s" % loaded_planted(folder))
    finally:
        proc.kill()
        pid = wine_pid(folder, "zelvane.exe")
        if pid:
            os.kill(pid, 9)


def service(args):
    """The download child, the service's own executable, loads WinHTTP."""
    folder = os.path.join(args.work, "service")
    exe, env = plant(folder, args.ratesvc, args.planted, SERVICE_DLLS)
    log = os.path.join(folder, "ratesvc.log")
    win = lambda path: "Z:" + path.replace("/", "\\")
    common = [WINE, exe, "--instance", "dll-search-%d" % os.getpid()]
    # Nothing listens on the discard port: WinHTTP is loaded, and fails to connect.
    proc = subprocess.Popen(common + ["--log", win(log), "--no-fetch", "--port", "0",
                                      "--rates", win(os.path.join(folder, "rates.xml")),
                                      "--rates-url", "http://127.0.0.1:9/eurofxref-daily.xml"],
                            cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        text = lambda: open(log, errors="replace").read() if os.path.exists(log) else ""
        check(wait_until(lambda: "still no rates" in text(), 60), "the service's download child ran")
        check("cannot connect" in text(), "the download child's WinHTTP answered: %s" % text()[-300:])
        check(loaded_planted(folder) == [], "the service loads no planted DLL: %s" % loaded_planted(folder))
    finally:
        subprocess.run(common + ["/stop"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()


def main():
    ap = argparse.ArgumentParser()
    for name in ("work", "planted", "control", "zelvane", "ratesvc"):
        ap.add_argument("--" + name, required=True)
    args = ap.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no X display: run under tools/test.sh, or source tools/xvfb.sh first")
    args.work = os.path.abspath(args.work)
    for case in (control, program, service):
        case(args)
    if failures:
        sys.exit("%d check(s) failed" % len(failures))
    print("all checks passed")


if __name__ == "__main__":
    main()
