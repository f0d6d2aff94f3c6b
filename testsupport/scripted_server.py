#!/usr/bin/env python3
"""A scripted HTTP/1.1 test server for what real servers won't do on demand.

Started by testsupport::ScriptedServer (C++), which writes the routes file and reads the records.

  scripted_server.py --routes FILE --record FILE --ready FILE

Listens on an ephemeral port of 127.0.0.1 and writes that port to the ready file once it accepts
connections. For every request it reads the request head (at most 1 MiB) and, unless the route
says otherwise, the body (Content-Length or chunked), appends a record of it to the record file,
then runs the matching route. The routes file is read again for every request, so a test may
change the routes while the server runs.

Routes file (JSON, every text hex-encoded so that any byte can pass):
  {"routes": [{"path": hex, "method": hex, "read_body": bool,
               "auth": {"scheme": "basic"|"digest", "user": hex, "password": hex, "realm": hex},
               "steps": [{"op": "send", "data": hex},
                         {"op": "repeat", "data": hex, "count": n},
                         {"op": "pattern", "offset": n, "count": n},
                         {"op": "sleep", "ms": n},
                         {"op": "close"}]}]}
A route matches when its path equals the request path without query (or is "*") and its method
is empty or equal. Without a match the answer is 404. With "auth", a request without valid
credentials is answered 401 with a challenge (Basic, or Digest MD5 with qop=auth). After the
steps the connection stays open for the next request unless a step closed it or the client asked
for "Connection: close".

Record file, one request after another (names and values hex-encoded):
  REQUEST <connection number> <method> <target> <version>
  HEADER <name> <value>
  BODY <bytes>
  END
"""

import argparse
import binascii
import hashlib
import json
import os
import secrets
import socket
import socketserver
import threading
import time

MAX_HEAD = 1 << 20
MAX_RECORDED_BODY = 16 << 20


def unhex(text):
    return binascii.unhexlify(text) if text else b""


def hexed(data):
    return binascii.hexlify(data).decode("ascii")


class Connection:
    """Buffered reading from a client socket."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise EOFError()
        self.buffer += chunk

    def read_until(self, marker, limit):
        while marker not in self.buffer:
            if len(self.buffer) > limit:
                raise ValueError("head too large")
            self.fill()
        index = self.buffer.index(marker) + len(marker)
        data, self.buffer = self.buffer[:index], self.buffer[index:]
        return data

    def read_exact(self, count):
        while len(self.buffer) < count:
            self.fill()
        data, self.buffer = self.buffer[:count], self.buffer[count:]
        return data


def read_body(conn, headers):
    length = headers.get("content-length")
    if headers.get("transfer-encoding", "").lower() == "chunked":
        body = b""
        while True:
            size_line = conn.read_until(b"\r\n", 4096)
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            if size == 0:
                conn.read_until(b"\r\n", MAX_HEAD)  # trailers end with an empty line
                return body
            body += conn.read_exact(size)
            conn.read_exact(2)
    if length is not None:
        return conn.read_exact(int(length))
    return b""


def md5(text):
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def parse_auth_params(text):
    params = {}
    for part in split_params(text):
        if "=" in part:
            key, value = part.split("=", 1)
            params[key.strip().lower()] = value.strip().strip('"')
    return params


def split_params(text):
    parts, current, quoted = [], "", False
    for char in text:
        if char == '"':
            quoted = not quoted
        if char == "," and not quoted:
            parts.append(current)
            current = ""
        else:
            current += char
    parts.append(current)
    return parts


def authorized(auth, method, headers):
    value = headers.get("authorization", "")
    user = unhex(auth["user"]).decode("latin-1")
    password = unhex(auth["password"]).decode("latin-1")
    realm = unhex(auth["realm"]).decode("latin-1")
    if auth["scheme"] == "basic":
        if not value.lower().startswith("basic "):
            return False
        try:
            decoded = binascii.a2b_base64(value[6:].strip()).decode("latin-1")
        except (binascii.Error, ValueError):
            return False
        return decoded == user + ":" + password
    if not value.lower().startswith("digest "):
        return False
    p = parse_auth_params(value[7:])
    if p.get("username") != user or p.get("realm") != realm:
        return False
    ha1 = md5(f"{user}:{realm}:{password}")
    ha2 = md5(f"{method}:{p.get('uri', '')}")
    if "qop" in p:
        expected = md5(f"{ha1}:{p.get('nonce')}:{p.get('nc')}:{p.get('cnonce')}:{p['qop']}:{ha2}")
    else:
        expected = md5(f"{ha1}:{p.get('nonce')}:{ha2}")
    return p.get("response") == expected


def challenge(auth):
    realm = unhex(auth["realm"]).decode("latin-1")
    if auth["scheme"] == "basic":
        header = f'WWW-Authenticate: Basic realm="{realm}"'
    else:
        nonce = secrets.token_hex(16)
        header = (f'WWW-Authenticate: Digest realm="{realm}", qop="auth", '
                  f'nonce="{nonce}", algorithm=MD5')
    body = b"authorization required"
    return (f"HTTP/1.1 401 Unauthorized\r\n{header}\r\nContent-Type: text/plain\r\n"
            f"Content-Length: {len(body)}\r\n\r\n").encode("latin-1") + body


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        server = self.server
        with server.lock:
            server.connections += 1
            number = server.connections
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn = Connection(self.request)
        try:
            while self.serve_one(conn, number):
                pass
        except (EOFError, ConnectionError, OSError, ValueError):
            pass

    def serve_one(self, conn, number):
        head = conn.read_until(b"\r\n\r\n", MAX_HEAD).decode("latin-1")
        lines = head.split("\r\n")
        parts = lines[0].split(" ")
        if len(parts) != 3:
            return False
        method, target, version = parts
        header_list = []
        headers = {}
        for line in lines[1:]:
            if not line:
                continue
            name, _, value = line.partition(":")
            header_list.append((name.strip(), value.strip()))
            headers[name.strip().lower()] = value.strip()
        route = self.server.find_route(method, target.split("?")[0])
        body = b""
        if route is None or route.get("read_body", True):
            body = read_body(conn, headers)
        self.server.record(number, method, target, version, header_list, body)
        keep = version == "HTTP/1.1" and headers.get("connection", "").lower() != "close"
        if route is None:
            payload = b"no such route"
            self.request.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: %d\r\n\r\n"
                                 % len(payload) + payload)
            return keep
        auth = route.get("auth")
        if auth and not authorized(auth, method, headers):
            self.request.sendall(challenge(auth))
            return keep
        for step in route.get("steps", []):
            op = step["op"]
            if op == "send":
                self.request.sendall(unhex(step["data"]))
            elif op == "repeat":
                data = unhex(step["data"])
                for _ in range(step["count"]):
                    self.request.sendall(data)
            elif op == "pattern":
                offset, count = step["offset"], step["count"]
                while count > 0:
                    size = min(count, 65536)
                    self.request.sendall(bytes((offset + i) % 251 for i in range(size)))
                    offset += size
                    count -= size
            elif op == "sleep":
                time.sleep(step["ms"] / 1000.0)
            elif op == "close":
                self.request.shutdown(socket.SHUT_RDWR)
                return False
        return keep


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, routes_file, record_file):
        super().__init__(("127.0.0.1", 0), Handler)
        self.routes_file = routes_file
        self.record_file = record_file
        self.lock = threading.Lock()
        self.connections = 0

    def find_route(self, method, path):
        try:
            with open(self.routes_file, "r", encoding="ascii") as f:
                routes = json.load(f).get("routes", [])
        except (OSError, ValueError):
            routes = []
        for route in routes:
            route_path = unhex(route.get("path", "")).decode("latin-1")
            route_method = unhex(route.get("method", "")).decode("latin-1")
            if route_path in ("*", path) and route_method in ("", method):
                return route
        return None

    def record(self, number, method, target, version, headers, body):
        lines = [f"REQUEST {number} {hexed(method.encode('latin-1'))} "
                 f"{hexed(target.encode('latin-1'))} {hexed(version.encode('latin-1'))}"]
        for name, value in headers:
            lines.append(f"HEADER {hexed(name.encode('latin-1'))} "
                         f"{hexed(value.encode('latin-1'))}")
        lines.append(f"BODY {hexed(body[:MAX_RECORDED_BODY])}")
        lines.append("END")
        with self.lock:
            with open(self.record_file, "a", encoding="ascii") as f:
                f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--routes", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--ready", required=True)
    args = parser.parse_args()
    server = Server(args.routes, args.record)
    port = server.server_address[1]
    temporary = args.ready + ".tmp"
    with open(temporary, "w", encoding="ascii") as f:
        f.write(str(port))
    os.rename(temporary, args.ready)  # appears complete or not at all
    server.serve_forever()


if __name__ == "__main__":
    main()
