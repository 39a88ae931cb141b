"""A real cache on a free loopback port in front of an origin, for the benchmarks: the same
private instance the tests start (tests/support/caches/run-cache)."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from bench_nginx import free_port

RUN_CACHE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support",
                         "caches", "run-cache")


def start_cache(kind, origin_port):
    folder = tempfile.mkdtemp(prefix=f"bench-{kind}-")
    port = free_port()
    log = open(os.path.join(folder, "output.log"), "w")
    proc = subprocess.Popen(["sh", RUN_CACHE, kind, str(port), str(origin_port), folder],
                            stdout=log, stderr=log, start_new_session=True)
    for _ in range(600):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.1).close()
            return proc, port, folder
        except OSError:
            if proc.poll() is not None:
                break
            time.sleep(0.025)
    stop_cache(proc, folder)
    sys.exit(f"{kind} did not start: " + open(os.path.join(folder, "output.log")).read())


def stop_cache(proc, folder):
    try:
        os.killpg(proc.pid, 15)
        proc.wait(timeout=30)
        os.killpg(proc.pid, 9)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        pass
    shutil.rmtree(folder, ignore_errors=True)
