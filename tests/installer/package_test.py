#!/usr/bin/env python3
"""The executables' versions as the packages read them, and a release that
package.py refuses: one whose program carries no version resource, which
Windows Installer would overwrite with any package, older ones included.

  package_test.py --work DIR --pe-version zelvane-pe-version
                  --exe PATH VERSION [--exe PATH VERSION ...] --unversioned PATH

Each --exe names an executable and the version it must read as;
--unversioned an x64 executable without a version resource.
"""
import argparse
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE = os.path.join(ROOT, "installer", "package.py")
sys.path.insert(0, os.path.dirname(PACKAGE))
import package  # noqa: E402

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    ap.add_argument("--pe-version", required=True)
    ap.add_argument("--exe", nargs=2, action="append", required=True, metavar=("PATH", "VERSION"))
    ap.add_argument("--unversioned", required=True)
    args = ap.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    for path, expected in args.exe + [[args.unversioned, None]]:
        found = package.file_version(path, args.pe_version)
        check(found == expected, "%s reads as %s (%s)" % (os.path.basename(path), expected, found))

    msi, zip_path = os.path.join(work, "out.msi"), os.path.join(work, "out.zip")
    r = subprocess.run([sys.executable, PACKAGE, "--work", os.path.join(work, "p"), "--version", "2.0.0.1",
                        "--pe-version", args.pe_version, "--zelvane", args.unversioned, "--msi", msi,
                        "--zip", zip_path],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
    check(r.returncode != 0, "package.py refuses a program without a version resource (exit %d)" % r.returncode)
    check(args.unversioned in r.stderr, "and names it: %r" % r.stderr.strip())
    check(not os.path.exists(msi) and not os.path.exists(zip_path), "and makes no package")

    if failures:
        sys.exit("%d check(s) failed" % len(failures))
    print("all checks passed")


if __name__ == "__main__":
    main()
