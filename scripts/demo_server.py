#!/usr/bin/env python3
"""The demo's download server: serves DIR on 127.0.0.1:PORT until stopped.

  demo_server.py DIR PORT [--slow]

With --slow every package archive (upgrade-*.zip) and the new installer take about 30 seconds
to arrive, so the download window and its Cancel button can be seen.
"""
import functools
import http.server
import os
import sys
import time

SLOW_SECONDS = 30.0


class Handler(http.server.SimpleHTTPRequestHandler):
    slow = False

    def copyfile(self, source, outputfile):
        name = os.path.basename(self.path.split("?", 1)[0])
        if not (self.slow and (name.startswith("upgrade-") or name == "selvanixnext.exe")):
            return super().copyfile(source, outputfile)
        data = source.read()
        pieces = 60
        step = max(1, -(-len(data) // pieces))
        for start in range(0, len(data), step):
            outputfile.write(data[start:start + step])
            outputfile.flush()
            time.sleep(SLOW_SECONDS / pieces)

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.log_date_time_string(), format % args))


def main():
    if len(sys.argv) not in (3, 4) or (len(sys.argv) == 4 and sys.argv[3] != "--slow"):
        sys.exit(__doc__)
    Handler.slow = len(sys.argv) == 4
    handler = functools.partial(Handler, directory=sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[2])), handler)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
