#!/usr/bin/env python3
"""Local HTTP server for the download tests: the publisher's site and the makers' mirrors
on 127.0.0.1, served from one folder.

    python3 scripts/testserver.py --root FOLDER [--port 0] [--log FILE] [--faults FILE]

The first line written to standard output is the port chosen. Every file below FOLDER
is served at its path, with Last-Modified taken from the file's modification time and
If-Modified-Since answered with 304 when the file is not newer.

Each request is appended to the log file as one tab-separated line:
    method  target  If-Modified-Since  Proxy-Authorization  User-Agent  status

The faults file (default FOLDER/.faults) is read on every request; each line is
    <path or *>  <switch> [argument]
with the switches
    status CODE       answer CODE without a body
    truncate          announce the whole length, send half the body, close
    empty             answer 200 with an empty body
    stall SECONDS     send the headers and half the body, then wait before the rest
    nolastmod         send no Last-Modified header
    redirect TARGET   answer 302 with Location TARGET
and the line
    proxyauth USER:PASSWORD
makes requests in proxy form ("GET http://host/path") require that Basic
Proxy-Authorization, answering 407 otherwise.
"""

import argparse
import base64
import email.utils
import os
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QmTestServer/1.0"

    def log_message(self, fmt, *args):  # quiet on stderr
        pass

    def _faults(self):
        faults = {}
        proxyauth = None
        try:
            with open(self.server.faults_file, encoding="utf-8") as f:
                for raw in f:
                    parts = raw.strip().split(None, 2)
                    if not parts:
                        continue
                    if parts[0] == "proxyauth" and len(parts) > 1:
                        proxyauth = parts[1]
                        continue
                    if len(parts) >= 2:
                        faults.setdefault(parts[0], []).append(
                            (parts[1], parts[2] if len(parts) > 2 else ""))
        except OSError:
            pass
        return faults, proxyauth

    def _log(self, status):
        line = "\t".join([
            self.command,
            self.path,
            self.headers.get("If-Modified-Since", ""),
            self.headers.get("Proxy-Authorization", ""),
            self.headers.get("User-Agent", ""),
            str(status),
        ])
        with LOCK:
            with open(self.server.log_file, "a", encoding="utf-8") as f:
                f.write(line + "\n")

    def _answer(self, code, body=b"", headers=None, send_body=True):
        self._log(code)
        self.send_response(code)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        if "Content-Length" not in (headers or {}):
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body and body:
            self.wfile.write(body)

    def do_HEAD(self):
        self._serve(send_body=False)

    def do_GET(self):
        self._serve(send_body=True)

    def _serve(self, send_body):
        faults, proxyauth = self._faults()
        target = self.path
        if target.startswith("http://") or target.startswith("https://"):
            if proxyauth is not None:
                want = "Basic " + base64.b64encode(proxyauth.encode("utf-8")).decode("ascii")
                if self.headers.get("Proxy-Authorization", "") != want:
                    self._answer(407, b"proxy authentication required",
                                 {"Proxy-Authenticate": 'Basic realm="qmtest"'},
                                 send_body)
                    return
            target = urllib.parse.urlsplit(target).path or "/"
        path = urllib.parse.unquote(urllib.parse.urlsplit(target).path, encoding="utf-8",
                                    errors="surrogateescape")
        switches = faults.get(path, []) + faults.get("*", [])
        kinds = {k: a for k, a in switches}

        if "redirect" in kinds:
            self._answer(302, b"", {"Location": kinds["redirect"]}, send_body)
            return
        if "status" in kinds:
            self._answer(int(kinds["status"]), b"", None, send_body)
            return

        root = os.path.realpath(self.server.root)
        full = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not (full == root or full.startswith(root + os.sep)) or not os.path.isfile(full):
            self._answer(404, b"not found", None, send_body)
            return

        mtime = int(os.stat(full).st_mtime)
        headers = {"Content-Type": "application/octet-stream"}
        if "nolastmod" not in kinds:
            headers["Last-Modified"] = email.utils.formatdate(mtime, usegmt=True)
            ims = self.headers.get("If-Modified-Since")
            if ims:
                try:
                    since = email.utils.parsedate_to_datetime(ims).timestamp()
                except (TypeError, ValueError):
                    since = None
                if since is not None and mtime <= since:
                    self._answer(304, b"", headers, False)
                    return

        with open(full, "rb") as f:
            body = f.read()
        if "empty" in kinds:
            self._answer(200, b"", headers, send_body)
            return

        headers["Content-Length"] = str(len(body))
        self._log(200)
        self.send_response(200)
        for k, v in headers.items():
            self.send_header(k, v)
        if "truncate" in kinds or "stall" in kinds:
            self.send_header("Connection", "close")
        self.end_headers()
        if not send_body:
            return
        if "truncate" in kinds:
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        if "stall" in kinds:
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            time.sleep(float(kinds["stall"] or "5"))
            try:
                self.wfile.write(body[len(body) // 2:])
            except OSError:
                pass
            self.close_connection = True
            return
        self.wfile.write(body)


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that hang up early (a headers-only check, a time-out) are expected.
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, BrokenPipeError)):
            return
        super().handle_error(request, client_address)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--log", default=None)
    ap.add_argument("--faults", default=None)
    args = ap.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.root = args.root
    server.log_file = args.log or os.path.join(args.root, ".requests.log")
    server.faults_file = args.faults or os.path.join(args.root, ".faults")
    sys.stdout.write("%d\n" % server.server_address[1])
    sys.stdout.flush()
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
