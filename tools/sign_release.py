#!/usr/bin/env python3
"""Publishes a Zelvane release so that its update agent accepts it.

  sign_release.py genkey <private.pem> <public.der>
      Makes an RSA key pair. Keep private.pem away from the repository; build
      the program with -DZELVANE_UPDATE_PUBLIC_KEY=<public.der>.
  sign_release.py publish <private.pem> <Zelvane.exe> <readme.txt> <folder>
      Fills the download folder: the executable, its signature (<exe>.sig:
      RSA PKCS#1 v1.5 over SHA-256), readme.txt and update.txt, which holds
      the version read from the executable's own version resource, so the
      offered version and the file cannot disagree.
  sign_release.py sign <private.pem> <file> [<signature>]
      Signs one file (default signature name: <file>.sig).

Needs python3 and the openssl command."""
import os
import shutil
import struct
import subprocess
import sys

KEY_BITS = 3072
# The version resource: VS_VERSIONINFO's three words, its key in UTF-16, then
# (on a 32-bit boundary) VS_FIXEDFILEINFO, which starts with this signature;
# the file version follows the structure-version field as two double words,
# most significant first. Found as the program itself finds it, key first: the
# signature alone also occurs in code.
VERSION_KEY = "VS_VERSION_INFO\0".encode("utf-16-le")
FIXED_FILE_INFO = struct.pack("<I", 0xFEEF04BD)
# The program refuses release notes that are larger or not text.
README_MAX = 64 * 1024


def openssl(*args):
    subprocess.run(["openssl", *args], check=True)


def genkey(private_pem, public_der):
    if os.path.exists(private_pem):
        sys.exit(f"{private_pem} exists; not overwriting a key")
    old = os.umask(0o077)
    try:
        openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", f"rsa_keygen_bits:{KEY_BITS}", "-out", private_pem)
    finally:
        os.umask(old)
    # PKCS#1 RSAPublicKey, the form the program decodes.
    openssl("rsa", "-in", private_pem, "-RSAPublicKey_out", "-outform", "DER", "-out", public_der)


def sign(private_pem, path, signature=None):
    openssl("dgst", "-sha256", "-sign", private_pem, "-out", signature or path + ".sig", path)


def file_version(exe):
    data = open(exe, "rb").read()
    at = data.find(VERSION_KEY)
    while at >= 0:
        info = (at + len(VERSION_KEY) + 3) & ~3
        if (at - 6) % 4 == 0 and data[info:info + 4] == FIXED_FILE_INFO and len(data) >= info + 16:
            ms, ls = struct.unpack_from("<II", data, info + 8)
            return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        at = data.find(VERSION_KEY, at + 1)
    sys.exit(f"{exe} has no version resource")


def check_readme(readme):
    data = open(readme, "rb").read()
    if len(data) > README_MAX or any(c < 0x20 and c not in b"\t\r\n" or c == 0x7F for c in data):
        sys.exit(f"{readme}: release notes must be text of at most {README_MAX} bytes")


def publish(private_pem, exe, readme, folder):
    check_readme(readme)
    os.makedirs(folder, exist_ok=True)
    name = os.path.basename(exe)
    target = os.path.join(folder, name)
    shutil.copyfile(exe, target)
    sign(private_pem, target)
    shutil.copyfile(readme, os.path.join(folder, "readme.txt"))
    version = file_version(exe)
    # No line end: the agent reads the file's bytes as the version.
    with open(os.path.join(folder, "update.txt"), "w", newline="") as f:
        f.write(version)
    print(f"published {name} {version} in {folder}")


def main(argv):
    commands = {"genkey": (genkey, 2), "publish": (publish, 4), "sign": (sign, 2)}
    if len(argv) < 2 or argv[1] not in commands:
        sys.exit(__doc__)
    func, count = commands[argv[1]]
    args = argv[2:]
    if not count <= len(args) <= count + (1 if func is sign else 0):
        sys.exit(__doc__)
    func(*args)


if __name__ == "__main__":
    main(sys.argv)
