#!/usr/bin/env python3
"""A scripted rates source for the fetchers' tests: plain HTTP and HTTPS on
127.0.0.1, ports chosen at run time and published as <dir>/plain.port and
<dir>/tls.port. The certificate is made at start (<dir>/cert.pem, which the
test trusts). Every request head is appended to <dir>/requests.log, followed
by an empty line; a connection that sends none (a client that refused the
certificate after the handshake) is not logged.

GET /a/b?query answers the file <dir>/a/b (the query is ignored) with an
ETag, and 304 to an If-None-Match that matches it. In the body, @TODAY@
becomes the date (2026-12-09) and @NOW@ the time (2026-12-09T16:08:54Z), UTC.
A file <dir>/a/b.script, when present, changes the answer, one line each:

  status 429 Too Many Requests   the status line (the file may then be absent)
  header Retry-After: 120        an extra header line; may repeat
  drip 0.5                       a pause in seconds before each body byte
  length 52428800                the body padded with spaces to that length

Besides, for the bank's fetcher:
  /to-http      302 to http://127.0.0.1:<plain>/rates.xml (asked over https)
  /tainted.xml  200, <dir>/rates.xml, with an ETag holding a bare CR and a
                Last-Modified holding a control byte
"""
import datetime
import hashlib
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

OWN_FILES = ("cert.pem", "key.pem", "plain.port", "tls.port", "requests.log", "peer.pid")
log_lock = threading.Lock()


def write_atomically(path, text):
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data and len(data) < 65536:
        piece = conn.recv(4096)
        if not piece:
            break
        data += piece
    return data.split(b"\r\n\r\n", 1)[0]


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def header_value(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip()
    return None


def scripted_answer(state, path, head):
    """(status, extra header lines, body, drip seconds, padded length)."""
    file = os.path.normpath(os.path.join(state, path.lstrip("/")))
    name = os.path.basename(file)
    if (not file.startswith(state + os.sep) or name in OWN_FILES or
            name.endswith((".script", ".tmp"))):
        return b"404 Not Found", b"", b"missing", 0, 0
    body = read_file(file)
    script = read_file(file + ".script")
    if body is not None:
        now = datetime.datetime.now(datetime.timezone.utc)
        body = (body.replace(b"@TODAY@", now.strftime("%Y-%m-%d").encode())
                .replace(b"@NOW@", now.strftime("%Y-%m-%dT%H:%M:%SZ").encode()))
    if script is None:
        if body is None:
            return b"404 Not Found", b"", b"missing", 0, 0
        etag = b'"%s"' % hashlib.sha1(body).hexdigest()[:16].encode()
        if header_value(head, b"if-none-match") == etag:
            return b"304 Not Modified", b"ETag: " + etag + b"\r\n", b"", 0, 0
        return b"200 OK", b"ETag: " + etag + b"\r\n", body, 0, 0
    status, extra, drip, length = b"200 OK", b"", 0.0, 0
    for line in script.decode("utf-8").splitlines():
        word, _, value = line.strip().partition(" ")
        if word == "status":
            status = value.encode()
        elif word == "header":
            extra += value.encode() + b"\r\n"
        elif word == "drip":
            drip = float(value)
        elif word == "length":
            length = int(value)
    return status, extra, body or b"", drip, length


def serve(state, conn, context, plain_port):
    try:
        if context:
            conn.settimeout(10)
            conn = context.wrap_socket(conn, server_side=True)
            conn.settimeout(None)
        head = read_head(conn)
        if not head:
            return
        with log_lock, open(os.path.join(state, "requests.log"), "ab") as log:
            log.write(head + b"\n\n")
        parts = head.split(b" ")
        path = parts[1].decode("latin-1").split("?", 1)[0] if len(parts) > 1 else ""
        extra, drip, length = b"", 0, 0
        if path in ("/rates.xml", "/tainted.xml"):
            body = read_file(os.path.join(state, "rates.xml"))
            status = b"200 OK" if body is not None else b"404 Not Found"
            body = body or b""
            if path == "/tainted.xml":
                extra = (b'ETag: "v1"\rX-Forged: 1\r\n'
                         b"Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT\x01\r\n")
        elif path == "/to-http":
            status, body = b"302 Found", b""
            extra = b"Location: http://127.0.0.1:%d/rates.xml\r\n" % plain_port
        else:
            status, extra, body, drip, length = scripted_answer(state, path, head)
        if b"content-type:" not in extra.lower() and body:
            kind = {b"{": b"application/json", b"[": b"application/json", b"<": b"text/xml"}
            extra += b"Content-Type: " + kind.get(body.lstrip()[:1], b"text/plain") + b"\r\n"
        total = max(len(body), length)
        conn.sendall(b"HTTP/1.1 " + status + b"\r\nContent-Length: %d\r\n" % total + extra +
                     b"Connection: close\r\n\r\n")
        if drip:
            for i in range(len(body)):
                time.sleep(drip)
                conn.sendall(body[i:i + 1])
        else:
            conn.sendall(body)
        padding = b" " * 65536
        for sent in range(len(body), total, len(padding)):
            conn.sendall(padding[:min(len(padding), total - sent)])
    except (OSError, ssl.SSLError):
        pass
    finally:
        conn.close()


def accept_loop(state, listener, context, plain_port):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(state, conn, context, plain_port), daemon=True).start()


def main():
    state = os.path.abspath(sys.argv[1])
    cert, key = os.path.join(state, "cert.pem"), os.path.join(state, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listeners = []
    for _ in range(2):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        s.listen(64)
        listeners.append(s)
    plain_port = listeners[0].getsockname()[1]
    threading.Thread(target=accept_loop, args=(state, listeners[1], context, plain_port), daemon=True).start()
    write_atomically(os.path.join(state, "tls.port"), str(listeners[1].getsockname()[1]))
    write_atomically(os.path.join(state, "plain.port"), str(plain_port))
    accept_loop(state, listeners[0], None, plain_port)


if __name__ == "__main__":
    main()
