#!/usr/bin/env python3
"""Starts (start <dir>) or stops (stop <dir>) the loopback servers of the
HTTP client tests: nginx with a configuration and prefix of its own in <dir>,
and the scripted raw server. Ports are chosen at run time and published as
<dir>/nginx.port and <dir>/raw.port; process ids go to <dir>/*.pid."""
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))

NGINX_CONF = """\
daemon off;
master_process off;
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/nginx-error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log off;
    client_body_temp_path {dir}/nginx-tmp/body;
    proxy_temp_path {dir}/nginx-tmp/proxy;
    fastcgi_temp_path {dir}/nginx-tmp/fastcgi;
    uwsgi_temp_path {dir}/nginx-tmp/uwsgi;
    scgi_temp_path {dir}/nginx-tmp/scgi;
    default_type text/plain;
    keepalive_timeout 60s;
    keepalive_requests 1000;
    server {{
        listen 127.0.0.1:{port};
        root {dir}/www;
        location = /conn {{ return 200 "$connection $connection_requests"; }}
        location = /soap {{ return 200 "<soap:Envelope/>"; }}
        location = /broken {{ return 500 "broken"; }}
        location = /old {{ return 301 /conn; }}
        location = /relative {{ absolute_redirect off; return 302 conn; }}
    }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def spawn(args, log):
    # A session of its own and no inherited pipes, so ctest does not wait
    # for the server when the start step ends.
    with open(log, "ab") as out:
        return subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                start_new_session=True)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def start_until_port_file(args, state, name, port_file):
    """Starts a server that publishes its port in port_file; once the file is
    there its process id goes to <state>/<name>.run.pid. False, with the log's
    name printed, when the server ended or never published a port."""
    if os.path.exists(port_file):
        os.remove(port_file)
    log = os.path.join(state, name + ".log")
    proc = spawn(args, log)
    for _ in range(200):
        if os.path.exists(port_file):
            write(os.path.join(state, name + ".run.pid"), str(proc.pid))
            return True
        if proc.poll() is not None:
            break
        time.sleep(0.05)
    if proc.poll() is None:
        proc.kill()
    print(name, "did not start; see", log)
    return False


def start_nginx(state, conf_template=NGINX_CONF):
    """conf_template: a configuration with {dir} and {port} to fill in."""
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    www = os.path.join(state, "www")
    os.makedirs(www, exist_ok=True)
    os.makedirs(os.path.join(state, "nginx-tmp"), exist_ok=True)
    # A static body larger than one read: 75 printable characters repeating.
    write(os.path.join(www, "big.txt"), "".join(chr(48 + i % 75) for i in range(100000)))
    for attempt in range(5):
        port = free_port()
        conf = os.path.join(state, "nginx.conf")
        write(conf, conf_template.format(dir=state, port=port))
        proc = spawn([nginx, "-p", state, "-c", conf, "-e", os.path.join(state, "nginx-error.log")],
                     os.path.join(state, "nginx.log"))
        for _ in range(100):
            if proc.poll() is not None:
                break
            if accepts(port):
                write(os.path.join(state, "nginx.port"), str(port))
                write(os.path.join(state, "nginx.run.pid"), str(proc.pid))
                return True
            time.sleep(0.05)
        if proc.poll() is None:
            proc.kill()
    return False


def start_raw(state):
    port_file = os.path.join(state, "raw.port")
    if os.path.exists(port_file):
        os.remove(port_file)
    proc = spawn([sys.executable, os.path.join(HERE, "raw_server.py"), state],
                 os.path.join(state, "raw.log"))
    for _ in range(200):
        if os.path.exists(port_file):
            write(os.path.join(state, "raw.run.pid"), str(proc.pid))
            return True
        if proc.poll() is not None:
            return False
        time.sleep(0.05)
    proc.kill()
    return False


def stop_pid_files(state, names):
    """Ends the processes whose ids the named files in state hold."""
    for name in names:
        path = os.path.join(state, name)
        if not os.path.exists(path):
            continue
        try:
            os.kill(int(open(path).read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        os.remove(path)


def stop(state):
    stop_pid_files(state, ("nginx.run.pid", "raw.run.pid"))


def main():
    action, state = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(state, exist_ok=True)
    stop(state)  # leftovers of an interrupted run
    if action == "stop":
        return 0
    # A port nothing listens on, for the refused-connection case.
    write(os.path.join(state, "closed.port"), str(free_port()))
    if not start_raw(state):
        print("raw server did not start; see", os.path.join(state, "raw.log"))
        return 1
    if not start_nginx(state):
        print("nginx did not start; see", os.path.join(state, "nginx-error.log"))
        stop(state)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
