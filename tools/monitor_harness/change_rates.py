#!/usr/bin/env python3
"""Keeps a rates file changing under the local rate service during a soak.

    change_rates.py TEMPLATE TARGET PERIOD_MS

Every PERIOD_MS writes TARGET anew from TEMPLATE (a reference-rates file)
with the yen's rate moved one step along a walk that climbs and falls, so the
US dollar to yen rate crosses the harness's alarm limit both ways. Each file
is written whole under another name and renamed into place, so the service
never reads half a file. Prints how many files it wrote when stopped.
"""
import os
import re
import signal
import sys
import time

template, target, period_ms = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(template, encoding="utf-8").read()
jpy = re.compile(r"(currency='JPY' rate=')[0-9.]+(')")
if not jpy.search(text):
    sys.exit("change_rates: no JPY rate in " + template)

written = 0
stopping = False


def stop(*_):
    global stopping
    stopping = True


signal.signal(signal.SIGTERM, stop)
signal.signal(signal.SIGINT, stop)
while not stopping:
    # 162.00 +- 0.50 in steps of 0.05: USD/JPY walks around 150 (USD is 1.08).
    step = written % 40
    offset = (step if step < 20 else 40 - step) - 10
    body = jpy.sub(lambda m: "%s%.2f%s" % (m.group(1), 162.0 + 0.05 * offset, m.group(2)), text)
    tmp = target + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(body)
    os.replace(tmp, target)
    written += 1
    time.sleep(period_ms / 1000.0)
print("change_rates: wrote %d files" % written, flush=True)
