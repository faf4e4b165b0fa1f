#!/usr/bin/env python3
"""Builds the release packages from the built executables: the per-user MSI
and the portable zip, both carrying the same (optionally signed) copies.

  package.py --work DIR --version 2.0.0.1 --pe-version zelvane-pe-version
             --zelvane Zelvane.exe [--ratesvc zelvane-ratesvc.exe]
             [--msi OUT.msi] [--zip OUT.zip]
             [--cert CERT --key KEY [--pass-file F] [--timestamp URL]]

Every executable must carry a version resource: Windows Installer compares
versions to decide whether a file may replace the one installed, and the
self-update reads the running program's. The executables are signed first,
then the MSI that carries them, so the signature on the package covers
signed programs. Without --cert the output is unsigned and the script says
so.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Files the self-update leaves beside Zelvane.exe. The MSI never installs
# them, so it must name them to remove them on uninstall. Zelvane.exe itself
# is named too: once the self-update has made it newer than the package's,
# Wine's installer keeps a file of a higher version even on uninstall.
SELF_UPDATE_LEFTOVERS = [
    ("rmSelfUpdated", "Zelvane.exe"),
    ("rmBackup", "OldExecutable.bak"),
    ("rmReadme", "readme.txt"),
    ("rmReadmeNew", "readme.txt.new"),
]


def run(cmd, cwd=None):
    result = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    # wixl complains about a missing 32-bit Wine it never uses.
    out = "\n".join(l for l in result.stdout.splitlines() if "wine32" not in l and "multiarch" not in l
                    and "dpkg --add-architecture" not in l and "apt-get install wine32" not in l)
    if result.returncode != 0:
        sys.exit("package.py: %s failed (%d):\n%s" % (cmd[0], result.returncode, out))


def sign(path, args, description):
    if not args.cert:
        return
    signed = path + ".signed"
    cmd = ["osslsigncode", "sign", "-certs", args.cert, "-key", args.key, "-h", "sha256",
           "-n", description, "-i", "https://morvast.example/zelvane/"]
    if args.pass_file:
        cmd += ["-readpass", args.pass_file]
    if args.timestamp:
        # A timestamp keeps the signature valid after the certificate expires.
        cmd += ["-ts", args.timestamp]
    cmd += ["-in", path, "-out", signed]
    if os.path.exists(signed):
        os.remove(signed)
    run(cmd)
    os.replace(signed, path)


def file_version(path, reader):
    """The file version of an executable's version resource, "a.b.c.d", or None.

    reader is zelvane-pe-version, the self-update's own reader built for this
    machine: the packages and the update read a version the same way.
    """
    r = subprocess.run([reader, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if r.returncode == 1:
        return None
    if r.returncode != 0 or not r.stdout.strip():
        sys.exit("package.py: %s %s failed (%d):\n%s" % (reader, path, r.returncode, r.stderr))
    return r.stdout.strip()


def msi_version(version):
    # The package's ProductVersion: at most three fields count for upgrades,
    # and each must stay in Windows Installer's range.
    if not re.fullmatch(r"\d+(\.\d+){0,3}", version):
        sys.exit("package.py: bad version %r" % version)
    fields = [int(f) for f in version.split(".")]
    if fields[0] > 255 or fields[1:2] and fields[1] > 255 or any(f > 65535 for f in fields[2:]):
        sys.exit("package.py: version %r is out of Windows Installer's range" % version)
    return version


def build_msi(args, stage, versions):
    out = os.path.abspath(args.msi)
    # wixl takes only relative source paths: it runs in the stage folder.
    shutil.copyfile(os.path.join(ROOT, "resources", "zelvane.ico"), os.path.join(stage, "zelvane.ico"))
    shutil.copyfile(os.path.join(HERE, "zelvane.wxs"), os.path.join(stage, "zelvane.wxs"))
    cmd = ["wixl", "-a", "x64", "-o", out,
           "-D", "Version=" + msi_version(args.version),
           "-D", "ZelvaneExe=Zelvane.exe", "-D", "IconFile=zelvane.ico"]
    if args.ratesvc:
        cmd += ["-D", "RateSvcExe=zelvane-ratesvc.exe"]
    cmd.append("zelvane.wxs")
    if os.path.exists(out):
        os.remove(out)
    run(cmd, cwd=stage)
    # wixl leaves the File table's Version empty, which would make the
    # programs unversioned files to Windows Installer.
    files = [("ZelvaneExe", "Zelvane.exe")] + ([("RateSvcExe", "zelvane-ratesvc.exe")] if args.ratesvc else [])
    for key, name in files:
        run(["msibuild", out, "-q", "UPDATE `File` SET `Version`='%s' WHERE `File`='%s'" % (versions[name], key)])
        # A hash is for unversioned files only; a versioned one is compared by version.
        run(["msibuild", out, "-q", "DELETE FROM `MsiFileHash` WHERE `File_`='%s'" % key])
    for key, name in SELF_UPDATE_LEFTOVERS:
        run(["msibuild", out, "-q",
             "INSERT INTO `RemoveFile` (`FileKey`,`Component_`,`FileName`,`DirProperty`,`InstallMode`) "
             "VALUES ('%s','cZelvane','%s','INSTALLDIR',2)" % (key, name)])
    sign(out, args, "Zelvane installer")


def build_zip(args, stage):
    out = os.path.abspath(args.zip)
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        names = ["Zelvane.exe"] + (["zelvane-ratesvc.exe"] if args.ratesvc else [])
        for name in names:
            z.write(os.path.join(stage, name), "Zelvane/" + name)
        z.write(os.path.join(HERE, "portable-readme.txt"), "Zelvane/readme-portable.txt")
    os.replace(tmp, out)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--work", required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--pe-version", required=True)
    p.add_argument("--zelvane", required=True)
    p.add_argument("--ratesvc")
    p.add_argument("--msi")
    p.add_argument("--zip")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--pass-file")
    p.add_argument("--timestamp")
    args = p.parse_args()
    if bool(args.cert) != bool(args.key):
        sys.exit("package.py: a signing certificate needs its key, and a key its certificate")

    # Checked before anything is made: an unversioned program would be
    # overwritten by any package, older ones included, and could not update
    # itself.
    executables = [("Zelvane.exe", args.zelvane, "Zelvane")]
    if args.ratesvc:
        executables.append(("zelvane-ratesvc.exe", args.ratesvc, "Zelvane rate service"))
    versions = {}
    for name, path, _ in executables:
        versions[name] = file_version(path, args.pe_version)
        if not versions[name]:
            sys.exit("package.py: %s is no x64 executable with a version resource" % path)

    stage = os.path.abspath(os.path.join(args.work, "stage"))
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    for name, path, description in executables:
        shutil.copyfile(path, os.path.join(stage, name))
        sign(os.path.join(stage, name), args, description)
    if args.msi:
        build_msi(args, stage, versions)
    if args.zip:
        build_zip(args, stage)
    if not args.cert:
        print("package.py: the packages are NOT signed (no certificate given)")


if __name__ == "__main__":
    main()
