#!/usr/bin/env python3
"""Builds the release packages from the built executables: the per-user MSI
and the portable zip, both carrying the same (optionally signed) copies.

  package.py --work DIR --version 2.0.0.1 --zelvane Zelvane.exe
             [--ratesvc zelvane-ratesvc.exe] [--msi OUT.msi] [--zip OUT.zip]
             [--cert CERT --key KEY [--pass-file F] [--timestamp URL]]

The executables are signed first, then the MSI that carries them, so the
signature on the package covers signed programs. Without --cert the output
is unsigned and the script says so.
"""
import argparse
import os
import re
import shutil
import struct
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


def _version_resource(data):
    """The bytes of a PE image's first RT_VERSION resource, or None."""
    u16 = lambda at: struct.unpack_from("<H", data, at)[0]
    u32 = lambda at: struct.unpack_from("<I", data, at)[0]
    pe = u32(0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    sections, opt_size = u16(pe + 6), u16(pe + 20)
    opt = pe + 24
    dirs = opt + (96 if u16(opt) == 0x10B else 112)  # PE32 or PE32+
    res_rva = u32(dirs + 2 * 8)
    table = opt + opt_size

    def offset(rva):
        for i in range(sections):
            sec = table + 40 * i
            size, va, raw = max(u32(sec + 8), u32(sec + 16)), u32(sec + 12), u32(sec + 20)
            if va <= rva < va + size:
                return raw + rva - va
        return None

    base = offset(res_rva) if res_rva else None
    if base is None:
        return None

    def entries(directory):
        named, numbered = u16(directory + 12), u16(directory + 14)
        return [(u32(directory + 16 + 8 * i), u32(directory + 20 + 8 * i)) for i in range(named + numbered)]

    def subdirectory(target):
        return base + (target & 0x7FFFFFFF) if target & 0x80000000 else None

    # Type RT_VERSION (16), then its first name, then that name's first language.
    names = next((subdirectory(t) for ident, t in entries(base) if ident == 16), None)
    languages = subdirectory(entries(names)[0][1]) if names and entries(names) else None
    if not languages or not entries(languages) or entries(languages)[0][1] & 0x80000000:
        return None
    leaf = base + entries(languages)[0][1]
    at = offset(u32(leaf))
    return None if at is None else data[at:at + u32(leaf + 4)]


def file_version(path):
    """The file version of an executable's version resource, "a.b.c.d", or None.

    wixl leaves the File table's Version empty; without it Windows Installer
    would treat the program as an unversioned file.
    """
    data = open(path, "rb").read()
    try:
        block = _version_resource(data)
    except struct.error:
        block = None
    # VS_VERSIONINFO: the fixed part follows the key L"VS_VERSION_INFO", 32-bit aligned.
    at = block.find(struct.pack("<I", 0xFEEF04BD)) if block else -1
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", block, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def msi_version(version):
    # The package's ProductVersion: at most three fields count for upgrades,
    # and each must stay in Windows Installer's range.
    if not re.fullmatch(r"\d+(\.\d+){0,3}", version):
        sys.exit("package.py: bad version %r" % version)
    fields = [int(f) for f in version.split(".")]
    if fields[0] > 255 or fields[1:2] and fields[1] > 255 or any(f > 65535 for f in fields[2:]):
        sys.exit("package.py: version %r is out of Windows Installer's range" % version)
    return version


def build_msi(args, stage):
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
    files = [("ZelvaneExe", "Zelvane.exe")] + ([("RateSvcExe", "zelvane-ratesvc.exe")] if args.ratesvc else [])
    for key, name in files:
        version = file_version(os.path.join(stage, name))
        if not version:
            print("package.py: warning: %s has no version resource; installed as an unversioned file" % name)
            continue
        run(["msibuild", out, "-q", "UPDATE `File` SET `Version`='%s' WHERE `File`='%s'" % (version, key)])
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

    stage = os.path.abspath(os.path.join(args.work, "stage"))
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    shutil.copyfile(args.zelvane, os.path.join(stage, "Zelvane.exe"))
    sign(os.path.join(stage, "Zelvane.exe"), args, "Zelvane")
    if args.ratesvc:
        shutil.copyfile(args.ratesvc, os.path.join(stage, "zelvane-ratesvc.exe"))
        sign(os.path.join(stage, "zelvane-ratesvc.exe"), args, "Zelvane rate service")
    if args.msi:
        build_msi(args, stage)
    if args.zip:
        build_zip(args, stage)
    if not args.cert:
        print("package.py: the packages are NOT signed (no certificate given)")


if __name__ == "__main__":
    main()
