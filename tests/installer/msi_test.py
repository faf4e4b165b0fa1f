#!/usr/bin/env python3
"""The packages as a user meets them, under Wine in a fresh prefix of this
test's own: signed packages built by installer/package.py with a throwaway
certificate, then msiexec install, self-update and repair, upgrade to a newer
package, and uninstall.

  msi_test.py --work DIR --version 2.0.0.1 --pe-version zelvane-pe-version
              --zelvane Zelvane.exe --zelvane-next Zelvane.exe(2.0.0.2)
              [--ratesvc zelvane-ratesvc.exe] [--get-test installed_get_test.exe]
"""
import argparse
import hashlib
import http.server
import os
import re
import shutil
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE = os.path.join(ROOT, "installer", "package.py")
sys.path.insert(0, os.path.dirname(PACKAGE))
import package  # noqa: E402  (file_version)
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEYS = [r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                  r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"]
SETTINGS_KEY = r"HKCU\Software\Morvast\Zelvane"
RATESVC_KEY = SETTINGS_KEY + r"\RateService"
# The stand-in bank's file: 1 USD = 150 / 1.25 = 120 JPY, exact in binary.
BANK_FILE = b"""<?xml version="1.0" encoding="UTF-8"?>
<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref">
\t<gesmes:subject>Reference rates</gesmes:subject>
\t<gesmes:Sender><gesmes:name>European Central Bank</gesmes:name></gesmes:Sender>
\t<Cube><Cube time="%s"><Cube currency="USD" rate="1.25"/><Cube currency="JPY" rate="150"/><Cube currency="CHF" rate="0.9375"/></Cube></Cube>
</gesmes:Envelope>
""" % time.strftime("%Y-%m-%d", time.gmtime()).encode()
EXPECTED_RATE = "120.0000"

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def wait_until(pred, timeout, step=0.2):
    deadline = time.monotonic() + timeout
    while True:
        if pred():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)


def run(cmd, timeout=300, env=None, check_rc=True):
    # Separate streams: Wine reports crashes of its own background processes
    # ("wine: Unhandled page fault ...") on the stderr of whatever runs then,
    # and that must not end up in a path or a registry value read from stdout.
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                       timeout=timeout, env=env)
    if check_rc and r.returncode != 0:
        sys.exit("%s failed (%d):\n%s%s" % (" ".join(cmd), r.returncode, r.stdout, r.stderr))
    return r


def last_line(text):
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    return lines[-1] if lines else ""


class Prefix:
    def __init__(self, path):
        self.path = path
        self.env = dict(os.environ, WINEPREFIX=path, WINEARCH="win64", WINEDEBUG="-all",
                        # No menu entries written into the Linux desktop for the shortcut.
                        WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")

    def wine(self, *args, timeout=300, check_rc=False, env=None):
        return run(["wine"] + list(args), timeout=timeout, env=dict(self.env, **(env or {})), check_rc=check_rc)

    def create(self):
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(self.path)
        run(["wine", "wineboot", "-i"], env=self.env, check_rc=False)
        run(["wineserver", "-w"], env=self.env, check_rc=False)
        self.local = self.unix(last_line(self.wine("cmd", "/c", "echo", "%LOCALAPPDATA%").stdout))
        self.roaming = self.unix(last_line(self.wine("cmd", "/c", "echo", "%APPDATA%").stdout))

    def end(self):
        run(["wineserver", "-k"], env=self.env, check_rc=False)

    def unix(self, windows_path):
        return last_line(run(["winepath", "-u", windows_path], env=self.env).stdout)

    def windows(self, unix_path):
        return last_line(run(["winepath", "-w", unix_path], env=self.env).stdout)

    def reg_values(self, key):
        """Values of one key as {name: data}, or None when the key is missing."""
        r = self.wine("reg", "query", key)
        if r.returncode != 0:
            return None
        values = {}
        for line in r.stdout.splitlines():
            m = re.match(r"\s{4}(.*?)\s{4}(REG_\w+)\s{4}?(.*)$", line)
            if m:
                values[m.group(1)] = m.group(3)
        return values

    def reg_subkeys(self, key):
        # reg names the root in full (HKEY_LOCAL_MACHINE\...): keep the last part only.
        r = self.wine("reg", "query", key)
        tail = key.split("\\", 1)[1].upper() + "\\"
        return [key + "\\" + l.strip().rsplit("\\", 1)[1] for l in r.stdout.splitlines()
                if tail in l.strip().upper()]

    def reg_set(self, key, name, kind, data):
        self.wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f", check_rc=True)

    def msiexec(self, *args):
        # Not through a pipe: the service it starts would inherit the pipe and
        # hold it open for its whole life.
        with open(os.path.join(os.path.dirname(self.path), "msiexec.out"), "ab") as out:
            return subprocess.run(["wine", "msiexec"] + list(args) + ["/qn"], stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=out, env=self.env, timeout=300).returncode

    def program_processes(self, names=(b"zelvane.exe", b"zelvane-ratesvc.exe")):
        """Linux pids of our prefix's processes running one of the named executables."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                cmdline = open("/proc/%s/cmdline" % pid, "rb").read().lower()
                environ = open("/proc/%s/environ" % pid, "rb").read()
            except OSError:
                continue
            if any(name in cmdline for name in names) and \
                    b"WINEPREFIX=" + self.path.encode() + b"\0" in environ:
                found.append(int(pid))
        return found


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def make_certificate(work):
    """A throwaway CA and a code-signing certificate it issued."""
    d = os.path.join(work, "pki")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    p = lambda name: os.path.join(d, name)
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Zelvane Test CA",
         "-keyout", p("ca.key"), "-out", p("ca.pem"),
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Morvast Test Signing",
         "-keyout", p("sign.key"), "-out", p("sign.csr")])
    with open(p("ext.cnf"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    run(["openssl", "x509", "-req", "-in", p("sign.csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"),
         "-CAcreateserial", "-days", "2", "-extfile", p("ext.cnf"), "-out", p("sign.pem")])
    # A CA the signatures were not made under: verifying against it must fail.
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Other CA",
         "-keyout", p("other.key"), "-out", p("other.pem")])
    return p("sign.pem"), p("sign.key"), p("ca.pem"), p("other.pem")


def next_version(version):
    fields = [int(f) for f in version.split(".")] + [0, 0, 0]
    # Windows Installer compares three fields only: a newer package needs a newer build number.
    return "%d.%d.%d.0" % (fields[0], fields[1], fields[2] + 1)


def serve_bank(hits):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            hits.append(self.path)
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(BANK_FILE)))
            self.end_headers()
            self.wfile.write(BANK_FILE)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--pe-version", required=True)
    ap.add_argument("--zelvane", required=True)
    ap.add_argument("--zelvane-next", required=True)
    ap.add_argument("--ratesvc")
    ap.add_argument("--get-test")
    args = ap.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no X display: run under tools/test.sh, or source tools/xvfb.sh first")
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    service = bool(args.ratesvc)
    if not service:
        print("note: no rate service built; its install, Run entry and GET are not checked")

    cert, key, ca, other_ca = make_certificate(work)
    # Packages: the release; a newer one carrying the same executables; a
    # newer still carrying the later program.
    v1, v2, v3 = (os.path.join(work, "Zelvane-%d.msi" % n) for n in (1, 2, 3))
    zip_path = os.path.join(work, "Zelvane-portable.zip")
    exes = ["--zelvane", args.zelvane] + (["--ratesvc", args.ratesvc] if service else [])
    sign = ["--cert", cert, "--key", key]
    package_py = [sys.executable, PACKAGE, "--pe-version", args.pe_version]
    run(package_py + ["--work", os.path.join(work, "p1"), "--version", args.version,
                      "--msi", v1, "--zip", zip_path] + exes + sign)
    run(package_py + ["--work", os.path.join(work, "p2"), "--version", next_version(args.version),
                      "--msi", v2] + exes + sign)
    later = ["--zelvane", args.zelvane_next] + exes[2:]
    run(package_py + ["--work", os.path.join(work, "p3"), "--version",
                      next_version(next_version(args.version)), "--msi", v3] + later + sign)

    # Every signature: the packages, and the executables as shipped inside them.
    shipped = os.path.join(work, "shipped")
    shutil.rmtree(shipped, ignore_errors=True)
    run(["msiextract", "-C", os.path.join(shipped, "msi"), v1])
    run(["unzip", "-q", "-d", os.path.join(shipped, "zip"), zip_path])
    signed = [v1, v2]
    for dirpath, _, names in os.walk(shipped):
        signed += [os.path.join(dirpath, n) for n in names if n.endswith(".exe")]
    check(len(signed) == 2 + 2 * (2 if service else 1), "the MSI and the zip carry the executables (%d files)" % len(signed))
    for path in signed:
        name = os.path.relpath(path, work)
        check(run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], check_rc=False).returncode == 0,
              "signature verifies: " + name)
        check(run(["osslsigncode", "verify", "-CAfile", other_ca, "-in", path], check_rc=False).returncode != 0,
              "signature refused under another CA: " + name)

    # The Start-menu shortcut names the file, not the feature: started, an
    # advertised one would have Windows Installer put the package's older
    # Zelvane.exe back over a self-updated one.
    table = run(["msiinfo", "export", v1, "Shortcut"]).stdout.splitlines()
    columns = table[0].split("\t")
    targets = [row.split("\t")[columns.index("Target")] for row in table[3:] if row.strip()]
    check(targets == ["[#ZelvaneExe]"], "the shortcut is not advertised: targets %r" % targets)

    prefix = Prefix(os.path.join(work, "prefix"))
    prefix.create()
    bank_hits = []
    bank = serve_bank(bank_hits)
    try:
        exercise(prefix, args, service, v1, v2, bank, bank_hits)
        upgrade_and_downgrade(prefix, args, v1, v3)
    finally:
        bank.shutdown()
        prefix.end()
    if failures:
        print("%d check(s) failed:\n  %s" % (len(failures), "\n  ".join(failures)))
        sys.exit(1)
    # A prefix is most of a gigabyte: keep it only to look into a failure.
    shutil.rmtree(prefix.path, ignore_errors=True)
    print("all checks passed")


def uninstall_entries(prefix):
    entries = []
    for root in UNINSTALL_KEYS:
        for sub in prefix.reg_subkeys(root):
            values = prefix.reg_values(sub) or {}
            if values.get("DisplayName") == "Zelvane":
                entries.append(values)
    return entries


def exercise(prefix, args, service, v1, v2, bank, bank_hits):
    install_dir = os.path.join(prefix.local, "Programs", "Zelvane")
    data_dir = os.path.join(prefix.local, "Zelvane")
    shortcut = os.path.join(prefix.roaming, "Microsoft", "Windows", "Start Menu", "Programs", "Zelvane.lnk")
    zelvane = os.path.join(install_dir, "Zelvane.exe")
    ratesvc = os.path.join(install_dir, "zelvane-ratesvc.exe")
    program_files = [zelvane, shortcut] + ([ratesvc] if service else [])
    kept_rates = os.path.join(data_dir, "rates.xml")

    # What a user or an administrator sets before installing: where the
    # service fetches from. And one setting of the program's own.
    prefix.reg_set(RATESVC_KEY, "SourceUrl", "REG_SZ", "http://127.0.0.1:%d/eurofxref-daily.xml" % bank.server_port)
    # The other sources off (an empty address): their defaults are hosts on
    # the Internet, which no test reaches.
    for source in ("LiveUrl", "ReferenceUrl", "MetalsUrl"):
        prefix.reg_set(RATESVC_KEY, source, "REG_SZ", "")
    prefix.reg_set(SETTINGS_KEY + r"\Monitor", "nPollIndex", "REG_DWORD", "3")

    # The service's own process in this prefix: anything else on the machine
    # may answer on its port.
    def service_state(running):
        if not service:
            return
        check(wait_until(lambda: bool(prefix.program_processes((b"zelvane-ratesvc.exe",))) == running, 30),
              "the rate service %s" % ("runs" if running else "no longer runs"))

    # Install.
    check(prefix.msiexec("/i", prefix.windows(v1)) == 0, "msiexec /i succeeds")
    for path in program_files:
        check(os.path.isfile(path), "installed: " + os.path.relpath(path, prefix.path))
    entries = uninstall_entries(prefix)
    check(len(entries) == 1, "one uninstall entry (%d)" % len(entries))
    for entry in entries:
        check(entry.get("Publisher") == "Morvast", "uninstall entry's publisher: %r" % entry.get("Publisher"))
        check(entry.get("DisplayVersion") == args.version, "uninstall entry's version: %r" % entry.get("DisplayVersion"))
        check("/X{" in entry.get("UninstallString", "").upper(), "uninstall command: %r" % entry.get("UninstallString"))
        check(entry.get("InstallLocation", "").rstrip("\\").lower() == prefix.windows(install_dir).rstrip("\\").lower(),
              "uninstall entry's folder: %r" % entry.get("InstallLocation"))
    if service:
        run_value = (prefix.reg_values(RUN_KEY) or {}).get("ZelvaneRateService", "")
        check(run_value.strip('"').lower() == prefix.windows(ratesvc).lower(), "logon entry: %r" % run_value)
    service_state(True)
    if service:
        check(wait_until(lambda: os.path.isfile(kept_rates), 60), "the service fetched from the stand-in bank and kept the file")
        check(len(bank_hits) > 0, "the stand-in bank was asked (%d requests)" % len(bank_hits))
        if args.get_test:
            get = prefix.wine(prefix.windows(args.get_test), timeout=180,
                              env={"ZELVANE_EXE": prefix.windows(zelvane), "ZELVANE_EXPECTED_RATE": EXPECTED_RATE})
            check(get.returncode == 0, "the installed program shows %s after GET\n%s" % (EXPECTED_RATE, (get.stdout + get.stderr)[-3000:]))
    else:
        # The file the service keeps; the MSI must never own or remove it.
        os.makedirs(data_dir, exist_ok=True)
        open(kept_rates, "wb").write(BANK_FILE)
    kept_before = sha256(kept_rates) if os.path.isfile(kept_rates) else ""

    # The self-update replaces the executable with a newer build and leaves
    # its backup and release notes beside it. A repair must not put the
    # older build back.
    shutil.copyfile(zelvane, os.path.join(install_dir, "OldExecutable.bak"))
    shutil.copyfile(args.zelvane_next, zelvane)
    open(os.path.join(install_dir, "readme.txt"), "w").write("release notes\n")
    updated = sha256(args.zelvane_next)
    # Wine's msiexec has no working /f: a repair through its properties.
    check(prefix.msiexec("/i", prefix.windows(v1), "REINSTALL=ALL", "REINSTALLMODE=omus") == 0, "repair succeeds")
    check(sha256(zelvane) == updated, "repair keeps the self-updated Zelvane.exe")
    service_state(True)

    # Upgrade in place to the newer package.
    check(prefix.msiexec("/i", prefix.windows(v2)) == 0, "msiexec /i of the newer package succeeds")
    entries = uninstall_entries(prefix)
    check([e.get("DisplayVersion") for e in entries] == [next_version(args.version)],
          "one uninstall entry, of the newer version: %r" % [e.get("DisplayVersion") for e in entries])
    check(sha256(zelvane) == updated, "the upgrade keeps the self-updated Zelvane.exe")
    for name in ("OldExecutable.bak", "readme.txt"):
        check(os.path.isfile(os.path.join(install_dir, name)), "the upgrade keeps the self-update's " + name)
    for path in program_files:
        check(os.path.isfile(path), "still installed after the upgrade: " + os.path.relpath(path, prefix.path))
    check((prefix.reg_values(SETTINGS_KEY + r"\Monitor") or {}).get("nPollIndex") == "0x3", "the upgrade keeps the settings")
    check(os.path.isfile(kept_rates) and sha256(kept_rates) == kept_before, "the upgrade keeps the kept rates")
    if service:
        check("ZelvaneRateService" in (prefix.reg_values(RUN_KEY) or {}), "the upgrade keeps the logon entry")
    service_state(True)

    # Uninstall.
    check(prefix.msiexec("/x", prefix.windows(v2)) == 0, "msiexec /x succeeds")
    check(not os.path.exists(install_dir), "the program's folder is gone (%s)" %
          (os.listdir(install_dir) if os.path.isdir(install_dir) else "-"))
    check(not os.path.exists(shortcut), "the shortcut is gone")
    check(uninstall_entries(prefix) == [], "the uninstall entry is gone")
    check("ZelvaneRateService" not in (prefix.reg_values(RUN_KEY) or {}), "the logon entry is gone")
    service_state(False)
    check(wait_until(lambda: not prefix.program_processes(), 30), "no process of the program is left")
    check(os.path.isfile(kept_rates), "the user's kept rates stay")
    check(prefix.reg_values(SETTINGS_KEY + r"\Monitor") is not None, "the user's settings stay")



def upgrade_and_downgrade(prefix, args, v1, v3):
    """A newer package replaces an older program; an older package is refused."""
    zelvane = os.path.join(prefix.local, "Programs", "Zelvane", "Zelvane.exe")
    check(prefix.msiexec("/i", prefix.windows(v1)) == 0, "msiexec /i of the release again")
    check(prefix.msiexec("/i", prefix.windows(v3)) == 0, "msiexec /i of the package with the later program")
    # The package carries a signed copy: compare versions, not bytes.
    later = package.file_version(args.zelvane_next, args.pe_version)
    check(os.path.isfile(zelvane) and package.file_version(zelvane, args.pe_version) == later,
          "the upgrade installs Zelvane.exe " + later)
    # Wine's msiexec exit code for a failed launch condition varies (0 among
    # others): judge the refusal by what it leaves.
    prefix.msiexec("/i", prefix.windows(v1))
    versions = [e.get("DisplayVersion") for e in uninstall_entries(prefix)]
    check(versions == [next_version(next_version(args.version))], "an older package is refused: %r" % versions)
    check(package.file_version(zelvane, args.pe_version) == later, "the refused package leaves the program as it was")
    folder = os.path.dirname(zelvane)
    check(prefix.msiexec("/x", prefix.windows(v3)) == 0 and not os.path.exists(folder),
          "msiexec /x removes the program's folder (%s)" % (os.listdir(folder) if os.path.isdir(folder) else "-"))


if __name__ == "__main__":
    main()
