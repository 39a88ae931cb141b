"""nginx on a free loopback port with a configuration of its own, for the benchmarks."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_nginx(root, server_extra=""):
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    prefix = tempfile.mkdtemp(prefix="dlbench-nginx-")
    port = free_port()
    user = "user root;\n" if os.geteuid() == 0 else ""
    with open(os.path.join(prefix, "nginx.conf"), "w") as f:
        f.write(f"""{user}worker_processes 1;
pid {prefix}/nginx.pid;
events {{ worker_connections 64; }}
http {{
  access_log off;
  client_body_temp_path {prefix}/b; proxy_temp_path {prefix}/p; fastcgi_temp_path {prefix}/f;
  uwsgi_temp_path {prefix}/u; scgi_temp_path {prefix}/s;
  default_type application/octet-stream;
  sendfile on;
  server {{ listen 127.0.0.1:{port}; root {root}; {server_extra} }}
}}
""")
    proc = subprocess.Popen([nginx, "-p", prefix + "/", "-c", prefix + "/nginx.conf",
                             "-e", prefix + "/error.log", "-g", "daemon off;"])
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.1).close()
            return proc, port, prefix
        except OSError:
            time.sleep(0.025)
    proc.kill()
    sys.exit("nginx did not start: " + open(prefix + "/error.log").read())
