#!/usr/bin/env python3
"""A loopback HTTP server for btshell's URL tests: serves FOLDER's files and
   /redirect/NAME (302 to /NAME), /loop (302 to itself), /oversized (more
   than 16 MiB, no length announced), /announced-oversized (a length above
   16 MiB announced); HTTPS with the certificate and key of the PEM file
   given second. Prints its port on stdout once it listens."""
import http.server
import os
import ssl
import sys

FOLDER = sys.argv[1]
LIMIT = 16 << 20


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # a body without a length ends with the connection

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.startswith("/redirect/") or self.path == "/loop":
            self.send_response(302)
            self.send_header("Location", "/loop" if self.path == "/loop" else self.path[len("/redirect"):])
            self.end_headers()
        elif self.path in ("/oversized", "/announced-oversized"):
            self.send_response(200)
            if self.path == "/announced-oversized":
                self.send_header("Content-Length", str(LIMIT + 1))
            self.end_headers()
            try:
                for _ in range(LIMIT // 65536 + 1):
                    self.wfile.write(b"\0" * 65536)
            except OSError:
                pass  # the client stopped reading
        else:
            path = os.path.join(FOLDER, os.path.basename(self.path))
            if not os.path.isfile(path):
                self.send_error(404)
                return
            with open(path, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
if len(sys.argv) > 2:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
