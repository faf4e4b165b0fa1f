#!/usr/bin/env python3
"""A second ConversionRate server for the call-cost bench: it answers as
real .NET-style services do, with more header lines, an XML declaration,
more namespace declarations and a WS-Addressing/WS-Security header block
before the body, so that the bench also counts what reading such an answer
costs. Every call is answered with the same rate (117.25); only the shape
of the answer matters here.

Usage: dotnet_server.py <port file> [namespace]; listens on 127.0.0.1 on a
port chosen by the system, published in <port file>. Keeps connections
alive; ends on SIGTERM."""
import os
import socket
import socketserver
import sys

NAMESPACE = sys.argv[2] if len(sys.argv) > 2 else "http://zelvane.morvast.example/"

BODY = (
    '<?xml version="1.0" encoding="utf-8"?>'
    '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" '
    'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
    'xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
    'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
    'xmlns:wsse="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd" '
    'xmlns:wsu="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd">'
    '<soap:Header>'
    '<wsa:Action>{ns}ConversionRateResponse</wsa:Action>'
    '<wsa:MessageID>urn:uuid:6f1c2d7e-93a4-4c1b-8f0e-2b7d5a9c4e31</wsa:MessageID>'
    '<wsa:RelatesTo>urn:uuid:0b4e8a12-5d3c-47f9-a6e2-91c7d3f08b54</wsa:RelatesTo>'
    '<wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>'
    '<wsse:Security><wsu:Timestamp wsu:Id="Timestamp-2f6b9d41-8c0e-4a7d-b315-c94e0a6f2d18">'
    '<wsu:Created>2026-12-08T04:32:49Z</wsu:Created><wsu:Expires>2026-12-08T04:37:49Z</wsu:Expires>'
    '</wsu:Timestamp></wsse:Security>'
    '</soap:Header>'
    '<soap:Body><ConversionRateResponse xmlns="{ns}"><ConversionRateResult>117.25</ConversionRateResult>'
    '</ConversionRateResponse></soap:Body></soap:Envelope>'
).format(ns=NAMESPACE).encode()

HEAD = (
    "HTTP/1.1 200 OK\r\n"
    "Cache-Control: private, max-age=0\r\n"
    "Content-Type: text/xml; charset=utf-8\r\n"
    "Content-Length: %d\r\n"
    "Server: Microsoft-IIS/10.0\r\n"
    "X-AspNet-Version: 4.0.30319\r\n"
    "X-Powered-By: ASP.NET\r\n"
    "Date: Tue, 08 Dec 2026 04:32:49 GMT\r\n"
    "\r\n" % len(BODY)
).encode()


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        while True:
            length = None
            line = self.rfile.readline(8192)
            if not line:
                return
            if not line.startswith(b"POST "):
                return
            while True:
                line = self.rfile.readline(8192)
                if not line:
                    return
                if line in (b"\r\n", b"\n"):
                    break
                name, _, value = line.partition(b":")
                if name.strip().lower() == b"content-length":
                    length = int(value.strip())
            if length is None:
                return
            self.rfile.read(length)
            self.wfile.write(HEAD + BODY)
            self.wfile.flush()


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    server.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    port_file = sys.argv[1]
    with open(port_file + ".tmp", "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
