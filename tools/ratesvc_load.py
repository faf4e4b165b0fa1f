#!/usr/bin/env python3
"""Load run of zelvane-ratesvc on loopback (minutes, so not part of ctest).

1. CLIENTS concurrent clients, each on one kept-alive connection, alternate
   ConversionRate and getRate with the program's exact envelopes for SECONDS;
   every answer must be HTTP 200 with the expected rate.
2. MALFORMED requests, each on a connection of its own: truncated XML, wrong
   operations or paths, binary garbage; each must get a SOAP fault or a clean
   close. Then a good call must still be answered.
The service's RSS, threads and open descriptors are sampled along the way.

Measure an optimised build, not the sanitizer one (ASan's quarantine grows by
design):
    cmake --preset bench && cmake --build --preset bench --target zelvane-ratesvc
    python3 tools/ratesvc_load.py build/bench/ratesvc/zelvane-ratesvc
"""
import argparse
import multiprocessing
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ENVELOPE = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
            'xmlns:soapenc="http://schemas.xmlsoap.org/soap/encoding/">')
CR_PATH, CR_ACTION = '/CurrencyConvertor.asmx', '"http://zelvane.morvast.example/ConversionRate"'
GR_PATH, GR_ACTION = '/soap', '""'


def conversion_rate(a, b):
    return (ENVELOPE + '<soap:Body><ConversionRate xmlns="http://zelvane.morvast.example/"><FromCurrency>%s'
            '</FromCurrency><ToCurrency>%s</ToCurrency></ConversionRate></soap:Body></soap:Envelope>' % (a, b))


def get_rate(a, b):
    return (ENVELOPE + '<soap:Body soap:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">'
            '<snp:getRate xmlns:snp="urn:xmethods-CurrencyExchange"><country1>%s</country1><country2>%s'
            '</country2></snp:getRate></soap:Body></soap:Envelope>' % (a, b))


def post(path, action, body, port):
    if isinstance(body, str):
        body = body.encode()
    return (b'POST %s HTTP/1.1\r\nContent-Length: %d\r\nContent-Type: text/xml; charset=utf-8\r\n'
            b'SOAPAction: %s\r\nAccept: text/xml\r\nHost: 127.0.0.1:%d\r\nUser-Agent: Zelvane/2.0\r\n\r\n'
            % (path.encode(), len(body), action.encode(), port)) + body


def read_response(sock, buf):
    """One response by Content-Length; returns (status, body, rest) or None when closed."""
    while b'\r\n\r\n' not in buf:
        data = sock.recv(65536)
        if not data:
            return None
        buf += data
    head, _, rest = buf.partition(b'\r\n\r\n')
    status = int(head.split(b' ', 2)[1])
    length = 0
    for line in head.split(b'\r\n')[1:]:
        name, _, value = line.partition(b':')
        if name.strip().lower() == b'content-length':
            length = int(value)
    while len(rest) < length:
        data = sock.recv(65536)
        if not data:
            return None
        rest += data
    return status, rest[:length], rest[length:]


def proc_stats(pid):
    stats = {}
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            key, _, value = line.partition(':')
            if key in ('VmRSS', 'Threads'):
                stats[key] = int(value.split()[0])
    stats['fds'] = len(os.listdir('/proc/%d/fd' % pid))
    return stats


def client_worker(port, deadline, expected, threads, out):
    """Runs `threads` clients in this process (several processes share the GIL load)."""
    results = []
    lock = threading.Lock()

    def one_client(n):
        calls = failures = 0
        first_error = None
        requests = [(post(CR_PATH, CR_ACTION, conversion_rate('USD', 'JPY'), port), b'ConversionRateResult>'),
                    (post(GR_PATH, GR_ACTION, get_rate('usa', 'japan'), port), b'Result>')]
        sock, buf = None, b''
        i = n
        while time.time() < deadline:
            try:
                if sock is None:
                    sock = socket.create_connection(('127.0.0.1', port), timeout=10)
                    buf = b''
                request, tag = requests[i % 2]
                i += 1
                sock.sendall(request)
                answer = read_response(sock, buf)
                calls += 1
                if answer is None:
                    raise IOError('connection closed by the service')
                status, body, buf = answer
                start = body.find(tag)
                value = float(body[start + len(tag):body.index(b'<', start)]) if start >= 0 else None
                if status != 200 or value is None or abs(value - expected) > 1e-4:
                    raise IOError('status %d, body %r' % (status, body[:200]))
            except (OSError, IOError, ValueError) as e:
                failures += 1
                first_error = first_error or repr(e)
                if sock is not None:
                    sock.close()
                sock = None
        if sock is not None:
            sock.close()
        with lock:
            results.append((calls, failures, first_error))

    pool = [threading.Thread(target=one_client, args=(n,)) for n in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    out.put(results)


def malformed_requests(port, count, seed=5):
    """(label, bytes, half_close): half_close for raw bytes with no HTTP framing,
    which no server can know to be complete until the client stops sending."""
    rnd = random.Random(seed)
    good_cr = conversion_rate('USD', 'JPY')
    good_gr = get_rate('usa', 'japan')
    kinds = []
    for n in range(count):
        k = n % 10
        if k in (0, 1):
            body = (good_cr if k == 0 else good_gr)[:rnd.randrange(1, len(good_cr) - 1)]
            kinds.append(('truncated XML', post(CR_PATH if k == 0 else GR_PATH, CR_ACTION, body, port), False))
        elif k == 2:
            kinds.append(('wrong operation', post(GR_PATH, GR_ACTION, good_gr.replace('getRate', 'getQuote'), port), False))
        elif k == 3:
            kinds.append(('wrong path', post(GR_PATH, CR_ACTION, good_cr, port), False))
        elif k == 4:
            kinds.append(('wrong namespace', post(CR_PATH, CR_ACTION, good_cr.replace('zelvane.morvast', 'other'), port), False))
        elif k == 5:
            kinds.append(('not SOAP', post(CR_PATH, CR_ACTION, '<ConversionRate><FromCurrency>USD', port), False))
        elif k in (6, 7):
            body = bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(1, 4096)))
            kinds.append(('binary body', post(CR_PATH, CR_ACTION, body, port), False))
        else:
            raw = bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(1, 4096)))
            kinds.append(('binary garbage', raw, True))
    return kinds


def send_malformed(port, request, half_close):
    """'fault', 'http error', 'close' (orderly, nothing sent), 'reset', or 'timeout'."""
    sock = socket.create_connection(('127.0.0.1', port), timeout=10)
    try:
        try:
            sock.sendall(request)
            if half_close:
                sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the service may close before reading everything; its answer is still there
        data = b''
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
    except socket.timeout:
        return 'timeout'
    except ConnectionResetError:
        if data:
            return 'fault (then reset)' if b':Fault>' in data else 'reset'
        return 'reset'
    finally:
        sock.close()
    if not data:
        return 'close'
    if data.startswith(b'HTTP/1.1 500') and b':Fault>' in data:
        return 'fault'
    return 'http error' if data.startswith(b'HTTP/1.1 4') or data.startswith(b'HTTP/1.1 5') else 'other'


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('server', help='path to zelvane-ratesvc')
    ap.add_argument('--clients', type=int, default=50)
    ap.add_argument('--seconds', type=float, default=30)
    ap.add_argument('--processes', type=int, default=5, help='client processes the clients are spread over')
    ap.add_argument('--malformed', type=int, default=1000)
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix='zelvane-ratesvc-load-')
    port_file = os.path.join(work, 'port')
    rates = os.path.join(HERE, 'sample-rates.xml')
    server = subprocess.Popen([args.server, '--rates', rates, '--port', '0', '--port-file', port_file],
                              stdout=subprocess.DEVNULL)
    for _ in range(200):
        if os.path.exists(port_file):
            break
        time.sleep(0.05)
    port = int(open(port_file).read())
    ok = True
    try:
        # The expected answer, from the service itself, checked once by hand here.
        s = socket.create_connection(('127.0.0.1', port))
        s.sendall(post(CR_PATH, CR_ACTION, conversion_rate('USD', 'JPY'), port))
        status, body, _ = read_response(s, b'')
        s.close()
        expected = float(body.split(b'ConversionRateResult>')[1].split(b'<')[0])
        print('service pid %d on port %d; USD->JPY from the sample file: %g' % (server.pid, port, expected))
        at_start = proc_stats(server.pid)

        # Phase 1: concurrent clients.
        per_proc = [args.clients // args.processes + (1 if i < args.clients % args.processes else 0)
                    for i in range(args.processes)]
        out = multiprocessing.Queue()
        begin = time.time()
        deadline = begin + args.seconds
        procs = [multiprocessing.Process(target=client_worker, args=(port, deadline, expected, n, out))
                 for n in per_proc if n]
        for p in procs:
            p.start()
        time.sleep(min(3.0, args.seconds / 4))
        warmed = proc_stats(server.pid)
        peak_rss = warmed['VmRSS']
        timeline = []  # (seconds into the run, RSS kB) every 5 s
        while time.time() < deadline - 0.5:
            time.sleep(0.5)
            rss = proc_stats(server.pid)['VmRSS']
            peak_rss = max(peak_rss, rss)
            if not timeline or time.time() - begin >= timeline[-1][0] + 5:
                timeline.append((round(time.time() - begin), rss))
        near_end = proc_stats(server.pid)
        results = [r for _ in procs for r in out.get()]
        for p in procs:
            p.join()
        elapsed = time.time() - begin
        time.sleep(0.5)
        after_load = proc_stats(server.pid)
        calls = sum(r[0] for r in results)
        failures = sum(r[1] for r in results)
        errors = [r[2] for r in results if r[2]]
        print('load: %d clients, %.1f s: %d calls, %.0f calls/s, %d failed%s' % (
            len(results), elapsed, calls, calls / elapsed, failures, (' (first: %s)' % errors[0]) if errors else ''))
        print('  RSS kB: at start %d, after %.0f s warm-up %d, peak %d, just before the end %d, after the clients left %d'
              % (at_start['VmRSS'], min(3.0, args.seconds / 4), warmed['VmRSS'], peak_rss, near_end['VmRSS'],
                 after_load['VmRSS']))
        print('  RSS kB during the run: %s' % ', '.join('%ds %d' % t for t in timeline))
        print('  threads: %d at start, %d under load, %d after; open fds %d at start, %d after' % (
            at_start['Threads'], near_end['Threads'], after_load['Threads'], at_start['fds'], after_load['fds']))
        ok &= failures == 0 and len(results) == args.clients

        # Phase 2: malformed requests.
        outcomes = {}
        begin = time.time()
        for label, request, half_close in malformed_requests(port, args.malformed):
            result = send_malformed(port, request, half_close)
            outcomes.setdefault(label, {}).setdefault(result, 0)
            outcomes[label][result] += 1
        elapsed = time.time() - begin
        print('malformed: %d requests in %.1f s' % (args.malformed, elapsed))
        bad = 0
        for label in sorted(outcomes):
            print('  %-16s %s' % (label, ', '.join('%s %d' % kv for kv in sorted(outcomes[label].items()))))
            bad += sum(n for result, n in outcomes[label].items() if result not in ('fault', 'fault (then reset)', 'close'))
        s = socket.create_connection(('127.0.0.1', port), timeout=10)
        s.sendall(post(GR_PATH, GR_ACTION, get_rate('usa', 'japan'), port))
        answer = read_response(s, b'')
        s.close()
        still_serving = answer is not None and answer[0] == 200 and b'Result>' in answer[1]
        time.sleep(0.5)
        final = proc_stats(server.pid)
        print('  answered neither with a fault nor with a clean close: %d; a good call afterwards: %s' % (
            bad, 'answered' if still_serving else 'FAILED'))
        print('  RSS kB at the end %d; threads %d; open fds %d' % (final['VmRSS'], final['Threads'], final['fds']))
        ok &= bad == 0 and still_serving
    finally:
        server.send_signal(signal.SIGTERM)
        code = server.wait(timeout=15)
        print('service stopped with exit code %d' % code)
        ok &= code == 0
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)
    print('PASS' if ok else 'FAIL')
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
