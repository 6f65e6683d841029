#!/usr/bin/env python3
"""A webhook receiver for the tests: HTTP/1.1 with keep-alive on 127.0.0.1, over
TLS when given a certificate. Prints its port, then records each request as a
JSON line (method, path, idempotencyKey, authorization, contentType, body and
the client's port, which tells connections apart) and answers as the answer
file says.

The answer file is JSON, rewritten by the test whenever it likes:
{"generation": n, "script": [answer, ...], "then": answer}
The script's answers are used in turn, then "then" for every request after;
a new generation starts the script again. An answer is
{"status": 200, "headers": {"Retry-After": "3"}, "body": "..."},
{"action": "hang"} (no answer until the client goes) or
{"action": "cut"} (the connection closed after reading the request).

Usage: https_receiver.py --log FILE --answers FILE [--cert PEM --key PEM] [--port N]
"""

import argparse
import json
import select
import socket
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HANG_AT_MOST = 120  # seconds


class Answers:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.generation = None
        self.used = 0

    def next(self):
        try:
            with open(self.path, encoding="utf-8") as file:
                plan = json.load(file)
        except (OSError, ValueError):
            plan = {}
        with self.lock:
            if plan.get("generation") != self.generation:
                self.generation = plan.get("generation")
                self.used = 0
            script = plan.get("script", [])
            if self.used < len(script):
                self.used += 1
                return script[self.used - 1]
        return plan.get("then", {"status": 200})


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_one_request(self):
        try:
            super().handle_one_request()
        except (ConnectionError, ssl.SSLError, OSError):
            self.close_connection = True

    def do_POST(self):
        self.serve()

    def do_GET(self):
        self.serve()

    def do_PUT(self):
        self.serve()

    def header(self, name):
        """The header's bytes as UTF-8 (the parser took them for Latin-1)."""
        value = self.headers.get(name)
        return value.encode("latin-1").decode("utf-8", "replace") if value is not None else None

    def serve(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        # Chosen before the request is recorded: a test that saw the request
        # may change the answers without changing this one's.
        answer = self.server.answers.next()
        self.server.record({
            "method": self.command,
            "path": self.path,
            "idempotencyKey": self.header("Idempotency-Key"),
            "authorization": self.header("Authorization"),
            "contentType": self.header("Content-Type"),
            "body": body.decode("utf-8", "replace"),
            "clientPort": self.client_address[1],
        })
        action = answer.get("action")
        if action == "cut":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if action == "hang":
            self.close_connection = True
            # Until the client gives up and closes.
            select.select([self.connection], [], [], HANG_AT_MOST)
            return
        text = answer.get("body", "").encode("utf-8")
        self.send_response(answer.get("status", 200))
        for name, value in answer.get("headers", {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)


class Receiver(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128

    def __init__(self, log, answers, context, port):
        super().__init__(("127.0.0.1", port), Handler)
        self.log = open(log, "a", encoding="utf-8")
        self.log_lock = threading.Lock()
        self.answers = answers
        self.context = context

    def get_request(self):
        connection, address = super().get_request()
        # As web servers do: an answer's head and body are not held back for
        # the client's acknowledgement.
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if self.context:
            connection = self.context.wrap_socket(connection, server_side=True,
                                                  do_handshake_on_connect=False)
        return connection, address

    def finish_request(self, request, client_address):
        try:
            if self.context:
                request.do_handshake()
        except (ssl.SSLError, OSError):
            return  # a client that refused our certificate
        super().finish_request(request, client_address)

    def record(self, request):
        with self.log_lock:
            self.log.write(json.dumps(request) + "\n")
            self.log.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--answers", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    # A receiver started again where one was before; by default a free port.
    parser.add_argument("--port", type=int, default=0)
    options = parser.parse_args()
    context = None
    if options.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert, options.key)
    server = Receiver(options.log, Answers(options.answers), context, options.port)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
