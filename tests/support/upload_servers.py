#!/usr/bin/env python3
"""Upload peers for the tests on a free loopback port; prints "PORT <n>", serves until killed.

ftp:   stores uploads under --root (passive and active); the first --fail-first STORs fail.
http:  POST /<handler>?corvaneId=C&fileName=F with Basic credentials stores root/C/F;
       the first --fail-first uploads get 503.
proxy: 407 without the credentials; with them, forwards to its loopback target and relays.
"""
import argparse
import base64
import http.client
import http.server
import logging
import os
import ssl
import sys
import urllib.parse

LOOPBACK = "127.0.0.1"


def announce(port):
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()


def safe_name(name):
    return name not in ("", ".", "..") and "/" not in name and "\\" not in name and "\0" not in name


def failures(count):
    """A callable that is true for its first count calls, across connections."""
    left = iter(range(count))  # one next() is atomic under the interpreter lock
    return lambda: next(left, None) is not None


def serve_ftp(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    logging.basicConfig(level=logging.ERROR)  # keeps pyftpdlib from logging every command
    fail_next = failures(args.fail_first)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        def ftp_STOR(self, file, mode="w"):
            if fail_next():
                return self.respond("451 Requested action aborted: failure arranged by the test.")
            return super().ftp_STOR(file, mode)

    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0  # a refused login is answered at once
    server = FTPServer((LOOPBACK, 0), Handler)
    announce(server.socket.getsockname()[1])
    server.serve_forever(handle_exit=True)


def drain(handler, out=None):
    """Reads the request body, into out when given; returns how many bytes did not come."""
    length = int(handler.headers.get("Content-Length", "0") or 0)
    while length > 0:
        chunk = handler.rfile.read(min(length, 1 << 20))
        if not chunk:
            break
        if out:
            out.write(chunk)
        length -= len(chunk)
    return length


def basic(user, password):
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


class QuietHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def answer(self, code, text, headers=(), close=False):
        body = (text + "\n").encode()
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)


def serve_http(args):
    fail_next = failures(args.fail_first)
    expected = basic(args.user, args.password)
    handler_path = "/" + args.handler.strip("/")

    class Handler(QuietHandler):
        def do_POST(self):
            url = urllib.parse.urlsplit(self.path)
            query = urllib.parse.parse_qs(url.query)
            folder = query.get("corvaneId", [""])[0]
            name = query.get("fileName", [""])[0]
            if self.headers.get("Authorization") != expected:
                refusal = (401, "credentials refused",
                           [("WWW-Authenticate", 'Basic realm="upload"')])
            elif url.path != handler_path:
                refusal = (404, "no such handler")
            elif not safe_name(folder) or not safe_name(name):
                refusal = (400, "bad names")
            elif fail_next():
                refusal = (503, "failure arranged by the test")
            else:
                refusal = None
            if refusal:
                drain(self)
                return self.answer(*refusal)
            target_dir = os.path.join(args.root, folder)
            os.makedirs(target_dir, exist_ok=True)
            temp = os.path.join(target_dir, "." + name + ".partial")
            with open(temp, "wb") as out:
                missing = drain(self, out)
            if missing:
                os.unlink(temp)
                return self.answer(400, "body cut short", close=True)
            os.rename(temp, os.path.join(target_dir, name))
            self.answer(200, "stored")

    server = http.server.ThreadingHTTPServer((LOOPBACK, 0), Handler)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    announce(server.server_address[1])
    server.serve_forever()


def serve_proxy(args):
    expected = basic(args.user, args.password)

    class Handler(QuietHandler):
        def handle_expect_100(self):
            return True  # decided in do_POST, after the credentials are looked at

        def do_POST(self):
            if self.headers.get("Proxy-Authorization") != expected:
                if self.headers.get("Expect", "").lower() != "100-continue":
                    drain(self)
                return self.answer(407, "proxy credentials refused",
                                   [("Proxy-Authenticate", 'Basic realm="proxy"')], close=True)
            target = urllib.parse.urlsplit(self.path)
            if target.hostname not in (LOOPBACK, "localhost") or target.scheme != "http":
                drain(self)
                return self.answer(403, "only loopback targets")
            if self.headers.get("Expect", "").lower() == "100-continue":
                self.send_response_only(100)
                self.end_headers()
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length) if length else b""
            headers = {k: v for k, v in self.headers.items()
                       if k.lower() not in ("proxy-authorization", "proxy-connection",
                                            "expect", "connection")}
            upstream = http.client.HTTPConnection(target.hostname, target.port, timeout=30)
            path = target.path + ("?" + target.query if target.query else "")
            upstream.request("POST", path, body=body, headers=headers)
            reply = upstream.getresponse()
            data = reply.read()
            self.send_response(reply.status)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            upstream.close()

    server = http.server.ThreadingHTTPServer((LOOPBACK, 0), Handler)
    announce(server.server_address[1])
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["ftp", "http", "proxy"])
    parser.add_argument("--root")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--handler", default="upload")
    parser.add_argument("--fail-first", type=int, default=0)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    {"ftp": serve_ftp, "http": serve_http, "proxy": serve_proxy}[args.mode](args)


if __name__ == "__main__":
    main()
