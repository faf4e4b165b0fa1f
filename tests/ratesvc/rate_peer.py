#!/usr/bin/env python3
"""A scripted rates source for the fetcher's tests: plain HTTP and HTTPS on
127.0.0.1, ports chosen at run time and published as <dir>/plain.port and
<dir>/tls.port. The certificate is made at start (<dir>/cert.pem, which the
test trusts). Every request head is appended to <dir>/requests.log.

  /rates.xml    200, <dir>/rates.xml
  /to-http      302 to http://127.0.0.1:<plain>/rates.xml (asked over https)
  /tainted.xml  200, <dir>/rates.xml, with an ETag holding a bare CR and a
                Last-Modified holding a control byte
"""
import os
import socket
import ssl
import subprocess
import sys
import threading


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


def serve(state, conn, plain_port):
    try:
        head = read_head(conn)
        with open(os.path.join(state, "requests.log"), "ab") as log:
            log.write(head + b"\n\n")
        parts = head.split(b" ")
        path = parts[1].decode("latin-1") if len(parts) > 1 else ""
        extra = b""
        if path in ("/rates.xml", "/tainted.xml"):
            with open(os.path.join(state, "rates.xml"), "rb") as f:
                body = f.read()
            status = b"200 OK"
            if path == "/tainted.xml":
                extra = (b'ETag: "v1"\rX-Forged: 1\r\n'
                         b"Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT\x01\r\n")
        elif path == "/to-http":
            status, body = b"302 Found", b""
            extra = b"Location: http://127.0.0.1:%d/rates.xml\r\n" % plain_port
        else:
            status, body = b"404 Not Found", b"missing"
        conn.sendall(b"HTTP/1.1 " + status + b"\r\nContent-Length: %d\r\n" % len(body) + extra +
                     b"Connection: close\r\n\r\n" + body)
    except (OSError, ssl.SSLError):
        pass
    finally:
        conn.close()


def accept_loop(state, listener, context, plain_port):
    while True:
        conn, _ = listener.accept()
        if context:
            try:
                conn.settimeout(10)
                conn = context.wrap_socket(conn, server_side=True)
            except (OSError, ssl.SSLError):
                conn.close()
                continue
        threading.Thread(target=serve, args=(state, conn, plain_port), daemon=True).start()


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
        s.listen(16)
        listeners.append(s)
    plain_port = listeners[0].getsockname()[1]
    threading.Thread(target=accept_loop, args=(state, listeners[1], context, plain_port), daemon=True).start()
    write_atomically(os.path.join(state, "tls.port"), str(listeners[1].getsockname()[1]))
    write_atomically(os.path.join(state, "plain.port"), str(plain_port))
    accept_loop(state, listeners[0], None, plain_port)


if __name__ == "__main__":
    main()
