#!/usr/bin/env python3
"""Starts (start <dir> <current exe> <next exe> <private key>) or stops
(stop <dir>) nginx serving the update tests' download folders from
<dir>/www/download/<case>/, and tests/servers/raw_server.py. The ports go to
<dir>/nginx.port and <dir>/raw.port, each request to nginx to <dir>/access.log. The releases are published with tools/sign_release.py."""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "servers"))
import run_servers  # noqa: E402

SIGN = os.path.join(ROOT, "tools", "sign_release.py")

# The HTTP tests' server, with a request log and one slow folder: slow
# enough that the test can take hold of the download before the agent moves
# it into place.
NGINX_CONF = run_servers.NGINX_CONF.replace("access_log off;", "access_log {dir}/access.log;").replace(
    "        root {dir}/www;\n",
    "        root {dir}/www;\n        location /download/slow/ {{ limit_rate 400k; }}\n")
assert "limit_rate" in NGINX_CONF and "access.log" in NGINX_CONF

README = "Zelvane 2.0.0.2\r\nRelease notes of the test release.\r\n"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def publish(key, exe, folder):
    readme = os.path.join(os.path.dirname(folder), "readme.txt")
    write(readme, README)
    subprocess.run([sys.executable, SIGN, "publish", key, exe, readme, folder], check=True,
                   stdout=subprocess.DEVNULL)


def version_only(folder, text):
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "update.txt"), text)


def build_folders(download, current, nextexe, key, other_key):
    shutil.rmtree(download, ignore_errors=True)
    os.makedirs(download)
    d = lambda name: os.path.join(download, name)  # noqa: E731
    version_only(d("newline"), "2.0.0.2\n")
    version_only(d("major"), "3")
    version_only(d("five"), "2.0.0.2.1")
    version_only(d("equal"), "2.0.0.1")
    version_only(d("missing"), "2.0.0.2")  # and no executable
    for name in ("good", "slow", "unsigned", "tampered"):
        publish(key, nextexe, d(name))
    os.remove(os.path.join(d("unsigned"), "Zelvane.exe.sig"))
    with open(os.path.join(d("tampered"), "Zelvane.exe"), "r+b") as f:
        f.seek(os.path.getsize(f.name) // 2)
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 0x01]))
    # Signed, but with a key the program does not know.
    publish(other_key, nextexe, d("otherkey"))
    # The maker's signature on the wrong file: the running version offered as
    # the next one, and a text under the executable's name.
    publish(key, current, d("wrongversion"))
    write(os.path.join(d("wrongversion"), "update.txt"), "2.0.0.2")
    publish(key, nextexe, d("notexe"))
    write(os.path.join(d("notexe"), "Zelvane.exe"), "MZ but no executable\r\n" * 100)
    subprocess.run([sys.executable, SIGN, "sign", key, os.path.join(d("notexe"), "Zelvane.exe")], check=True)
    # Release notes too large, and not text (an executable's bytes).
    publish(key, nextexe, d("bignotes"))
    write(os.path.join(d("bignotes"), "readme.txt"), "notes\r\n" * 10000)
    publish(key, nextexe, d("binnotes"))
    write(os.path.join(d("binnotes"), "readme.txt"), b"MZ\x90\x00\x03\x00\x00\x00")


def main():
    action, state = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(state, exist_ok=True)
    run_servers.stop_pid_files(state, ("nginx.run.pid", "raw.run.pid"))
    if action == "stop":
        return 0
    current, nextexe, key = sys.argv[3:6]
    other_key = os.path.join(state, "other_key.pem")
    if not os.path.exists(other_key):
        subprocess.run([sys.executable, SIGN, "genkey", other_key, other_key + ".der"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    build_folders(os.path.join(state, "www", "download"), current, nextexe, key, other_key)
    os.makedirs(os.path.join(state, "nginx-tmp"), exist_ok=True)
    if os.path.exists(os.path.join(state, "access.log")):
        os.remove(os.path.join(state, "access.log"))
    if not run_servers.start_nginx(state, NGINX_CONF):
        print("nginx did not start; see", os.path.join(state, "nginx-error.log"))
        return 1
    # The scripted server, for what nginx cannot be made to send.
    if not run_servers.start_raw(state):
        print("the raw server did not start; see", os.path.join(state, "raw.log"))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
