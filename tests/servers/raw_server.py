#!/usr/bin/env python3
"""Scripted HTTP server for the client tests: each request path answers
with exact bytes that real servers cannot be made to send (interim answers,
odd header blocks, chunk framing, silence, early closes, endless bodies).

Usage: raw_server.py <state dir>; listens on 127.0.0.1, port chosen by the
system, written to <state dir>/raw.port once the socket accepts."""
import os
import socket
import socketserver
import sys
import threading
import time

BIG = 17 << 20  # past the client's 16 MiB cap


def response(status, headers=(), body=b""):
    head = "HTTP/1.1 %s\r\n" % status
    for name, value in headers:
        head += "%s: %s\r\n" % (name, value)
    return head.encode() + b"\r\n" + body


def with_length(status, body=b"", headers=()):
    return response(status, list(headers) + [("Content-Length", str(len(body)))], body)


# SOAP answers the gSOAP rate service never gives: ConversionRate responses
# with a wrapper of another name, and with no result in the wrapper.
SOAP_ENVELOPE = (b'<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">'
                 b'<soap:Body>%s</soap:Body></soap:Envelope>')
SOAP_ANSWERS = {
    "/conversion/other-wrapper":
        b'<RateOfTheDay xmlns="urn:other"><ConversionRateResult>110.5</ConversionRateResult></RateOfTheDay>',
    "/conversion/no-result":
        b'<ConversionRateResponse xmlns="urn:other"></ConversionRateResponse>',
}

# Requests under /count/<tag>/<path> are answered as <path>, counted per
# tag in <state dir>/count-<tag> and their bodies kept, the last one in
# <state dir>/body-<tag>, so a test can tell whether, how often and with
# what bytes anything reached this server. When the server ends the
# connection after one, <state dir>/closed-<tag> says so once it is closed.
counts = {}
counts_lock = threading.Lock()


def write_atomically(path, data):
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def count_request(state, path, body):
    """Returns the path to answer and the tag's count (0 when untagged)."""
    parts = path.split("/", 3)
    if len(parts) < 3 or not parts[2] or not all(c.isalnum() or c in "-_" for c in parts[2]):
        return path, 0
    tag = parts[2]
    with counts_lock:
        counts[tag] = counts.get(tag, 0) + 1
        write_atomically(os.path.join(state, "body-" + tag), body)
        write_atomically(os.path.join(state, "count-" + tag), str(counts[tag]).encode())
        return "/" + (parts[3] if len(parts) > 3 else ""), counts[tag]


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.settimeout(60)
        self.pending = b""
        self.served = 0

    def read_request(self):
        while b"\r\n\r\n" not in self.pending:
            data = self.request.recv(65536)
            if not data:
                return None
            self.pending += data
        head, _, rest = self.pending.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        method, path = lines[0].split(" ")[:2]
        length = 0
        for line in lines[1:]:
            name, _, value = line.partition(":")
            if name.strip().lower() == "content-length":
                length = int(value.strip())
        while len(rest) < length:
            data = self.request.recv(65536)
            if not data:
                return None
            rest += data
        self.pending = rest[length:]
        return method, path, rest[:length]

    def wait_for_close(self, seconds):
        """Keeps the connection open, unanswered, until the client leaves."""
        end = time.time() + seconds
        self.request.settimeout(1)
        while time.time() < end:
            try:
                if not self.request.recv(65536):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def send_pieces(self, data, size, pause=0.005):
        for i in range(0, len(data), size):
            self.request.sendall(data[i:i + size])
            time.sleep(pause)

    def drip(self, head, count, byte=b"x"):
        """The head at once, then one byte every half second: each wait of
        the client ends well within its time-out, the exchange never does."""
        try:
            self.request.sendall(head)
            for _ in range(count):
                time.sleep(0.5)
                self.request.sendall(byte)
        except OSError:
            pass  # the client gave up

    def stream(self, total):
        block = b"x" * 65536
        try:
            for _ in range(total // len(block)):
                self.request.sendall(block)
        except OSError:
            pass  # the client gave up at its cap

    def handle(self):
        while True:
            request = self.read_request()
            if request is None:
                return
            self.served += 1
            self.tag = None
            if not self.answer(*request):
                if self.tag:
                    self.request.close()
                    write_atomically(os.path.join(self.server.state, "closed-" + self.tag), b"")
                return

    def answer(self, method, path, body):
        """Returns False when the connection is to end."""
        send = self.request.sendall
        seen = 0
        # A scripted rate is read before the request is counted: a test that
        # sets the next rate once it sees the count must not change this
        # answer.
        rate = None
        marker = "/conversion/scripted/"
        if marker in path:
            name = path[path.index(marker) + len(marker):]
            try:
                with open(os.path.join(self.server.state, "rate-" + os.path.basename(name))) as f:
                    rate = f.read().strip().encode()
            except OSError:
                pass
        if path.startswith("/count/"):
            tag = path.split("/", 3)[2]
            path, seen = count_request(self.server.state, path, body)
            if seen:
                self.tag = tag
                # Where on its connection the tag's last request came: 1 on
                # a fresh one.
                write_atomically(os.path.join(self.server.state, "served-" + tag),
                                 str(self.served).encode())
        if path == "/conversion/no-result-once":
            # The first request of its tag gets no result, every later one a rate.
            path = "/conversion/no-result" if seen <= 1 else "/conversion/other-wrapper"
        if path.startswith(marker):
            # A rate the test sets between polls: <state dir>/rate-<name>.
            if rate:
                answer = (b'<ConversionRateResponse xmlns="urn:scripted"><ConversionRateResult>%s'
                          b'</ConversionRateResult></ConversionRateResponse>' % rate)
                send(with_length("200 OK", SOAP_ENVELOPE % answer, [("Content-Type", "text/xml")]))
            else:
                send(with_length("500 Scripted", b"<soap:Fault/>"))
        elif path in SOAP_ANSWERS:
            send(with_length("200 OK", SOAP_ENVELOPE % SOAP_ANSWERS[path], [("Content-Type", "text/xml")]))
        elif path == "/overlong":
            # More bytes than the length says, in one send: a client that
            # kept them would take them for its body or its next answer.
            send(response("200 OK", [("Content-Length", "5")], b"helloHTTP/1.1 200 OK\r\n\r\n"))
        elif path == "/continue":
            send(response("100 Continue"))
            time.sleep(0.05)
            self.send_pieces(with_length("200 OK", b"hello", [("X-Final", "yes")]), 7)
        elif path == "/duplicates":
            send(with_length("200 OK", b"<d/>", [("Set-Cookie", "a=1"), ("Set-Cookie", "b=2")]))
        elif path == "/longname":
            send(with_length("200 OK", b"<l/>", [("N" * 1024, "lost"), ("X-After", "kept")]))
        elif path == "/capital-chunked":
            send(response("200 OK", [("Transfer-Encoding", "Chunked"), ("Connection", "close")],
                          b"4\r\nabcd\r\n0\r\n\r\n"))
            return False
        elif path == "/abcd":
            send(response("200 OK", [("Transfer-Encoding", "chunked")], b"4\r\nabcd\r\n0\r\n\r\n"))
        elif path == "/trailers":
            send(response("200 OK", [("Transfer-Encoding", "chunked"), ("Trailer", "X-Checksum")]))
            self.send_pieces(b"5\r\nhello\r\n6\r\n world\r\n0\r\nX-Checksum: 42\r\n\r\n", 4)
        elif path == "/nolength":
            send(response("200 OK", [("Content-Type", "text/xml")], b"<partial/>"))
            self.wait_for_close(30)
            return False
        elif path == "/idle":
            # Answers as if the connection stayed open, then drops it.
            send(with_length("200 OK", b"<idle/>"))
            time.sleep(0.1)
            return False
        elif path == "/silent":
            self.wait_for_close(60)
            return False
        elif path == "/loop":
            send(with_length("302 Found", b"", [("Location", "/loop"), ("X-Hop", str(self.served))]))
        elif path == "/big-length":
            send(response("200 OK", [("Content-Length", str(BIG))]))
            self.stream(BIG)
            return False
        elif path == "/big-close":
            send(response("200 OK", [("Connection", "close")]))
            self.stream(BIG)
            return False
        elif path == "/big-chunk":
            send(response("200 OK", [("Transfer-Encoding", "chunked")], b"7ffffff0\r\n"))
            self.stream(1 << 20)
            return False
        elif path.startswith("/drip/"):
            # /drip/<bytes>: a 2000-byte body announced, <bytes> of it dripped.
            self.drip(response("200 OK", [("Content-Length", "2000")]), int(path[len("/drip/"):]))
            return False
        elif path.startswith("/drip-chunk-ext/"):
            # A chunk-size line with an extension that never ends.
            self.drip(response("200 OK", [("Transfer-Encoding", "chunked")], b"4;name="),
                      int(path[len("/drip-chunk-ext/"):]), b"v")
            return False
        elif path.startswith("/redirect-drip/"):
            send(with_length("302 Found", b"", [("Location", "/drip/" + path[len("/redirect-drip/"):])]))
        elif path.startswith("/redirect-inject/"):
            # A Location that would write lines of its own into the next
            # request; had the client followed it, the tag would be counted.
            tag, _, kind = path[len("/redirect-inject/"):].partition("/")
            target = "/count/%s/status/202?a" % tag
            location = {"lf": target + "\nSET k v\nQUIT\n", "folded": target + "\r\n SET k v",
                        "space": target + " b", "tab": target + "\tb",
                        "clean": target + "b"}[kind]
            send(with_length("302 Found", b"", [("Location", location)]))
        elif path == "/redirect-truncated":
            send(with_length("302 Found", b"", [("Location", "/truncated")]))
        elif path == "/truncated":
            send(response("200 OK", [("Content-Length", "1000")], b"abcdefghijklmnopqrstuvwxyz"))
            return False
        elif path.startswith("/status/"):
            code = path[len("/status/"):]
            fault = b"<soap:Fault/>" if code == "500-fault" else b""
            send(with_length(code[:3] + " Scripted", fault))
        elif path == "/update-short/update.txt":
            # A newer release whose executable arrives cut short.
            send(with_length("200 OK", b"2.0.0.2"))
        elif path == "/update-short/Zelvane.exe":
            send(response("200 OK", [("Content-Length", "100000")], b"MZ" + b"\0" * 1000))
            return False
        elif path == "/update-silent/update.txt":
            self.wait_for_close(120)
            return False
        elif path == "/redirect-post":
            send(with_length("302 Found", b"", [("Location", "echo")]))
        elif path == "/echo":
            send(with_length("200 OK", body, [("X-Method", method), ("X-Requests", str(self.served))]))
        else:
            send(with_length("404 Not Found"))
        return True


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    state = sys.argv[1]
    with Server(("127.0.0.1", 0), Handler) as server:
        server.state = state
        port = server.server_address[1]
        tmp = os.path.join(state, "raw.port.tmp")
        with open(tmp, "w") as f:
            f.write(str(port))
        os.replace(tmp, os.path.join(state, "raw.port"))
        server.serve_forever()


if __name__ == "__main__":
    main()
