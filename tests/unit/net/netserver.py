#!/usr/bin/env python3
"""Local servers for the network download tests, on 127.0.0.1 only.

    netserver.py http|ftp ROOT PORTFILE
    netserver.py https ROOT PORTFILE CERTFILE KEYFILE

Serves the folder ROOT on a free port and writes the port to PORTFILE. The
Windows test cannot stop a Unix process, so the server stops by itself when
PORTFILE is removed, and in any case after a fixed time.

http: the standard library's HTTP server (what "python3 -m http.server"
runs). Files under cut/ are announced with their full length but only half
of them is sent before the connection closes (so is a file that has a
marker NAME.cut beside it); a file with a marker NAME.slow beside it comes
in blocks of 8 KiB a fifth of a second apart; files under nolength/ come
without a length; status/NNN answers with that status. Every request target
is appended to "requests.log" beside PORTFILE.
https: the same over TLS with the given certificate and key.
ftp: pyftpdlib; anonymous logins and the user "setup" with password
"secret" read ROOT.
"""
import os
import ssl
import sys
import threading
import time
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

LIFETIME = 300  # seconds: a test run never waits on a forgotten server


class Handler(SimpleHTTPRequestHandler):
    requests_log = None

    def log_message(self, *args):
        pass

    def folder(self):
        return self.path.lstrip("/").split("/", 1)[0]

    def do_GET(self):
        # The request target exactly as the client sent it.
        with open(self.requests_log, "a") as f:
            f.write(self.path + "\n")
        if self.folder() == "status":
            self.send_error(int(self.path.rsplit("/", 1)[1]))
            return
        super().do_GET()

    def send_header(self, keyword, value):
        if self.folder() == "nolength" and keyword.lower() == "content-length":
            return
        super().send_header(keyword, value)

    def cut(self):
        local = self.translate_path(self.path)
        return self.folder() == "cut" or os.path.exists(local + ".cut")

    def slow(self):
        return os.path.exists(self.translate_path(self.path) + ".slow")

    def copyfile(self, source, outputfile):
        if self.slow():
            for block in iter(partial(source.read, 8192), b""):
                outputfile.write(block)
                outputfile.flush()
                time.sleep(0.2)
            return
        if self.cut():
            data = source.read()
            outputfile.write(data[: len(data) // 2])
            outputfile.flush()
            self.close_connection = True
            return
        super().copyfile(source, outputfile)


def announce(portfile, port):
    tmp = portfile + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.replace(tmp, portfile)


def should_stop(portfile, started):
    return not os.path.exists(portfile) or time.monotonic() - started > LIFETIME


def serve_http(root, portfile, tls=None):
    Handler.requests_log = os.path.join(os.path.dirname(portfile), "requests.log")
    server = ThreadingHTTPServer(("127.0.0.1", 0), partial(Handler, directory=root))
    server.daemon_threads = True
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*tls)
        # The handshake happens in the request's thread: a client that gives
        # up on the certificate never holds up the others.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    return server.server_address[1], partial(time.sleep, 0.2), server.shutdown


def serve_ftp(root, portfile):
    import logging

    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    logging.getLogger("pyftpdlib").setLevel(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("setup", "secret", root, perm="elr")
    # A wrong password is answered at once, not after the usual pause.
    handler = type("Handler", (FTPHandler,), {"authorizer": authorizer, "auth_failed_timeout": 0})
    server = FTPServer(("127.0.0.1", 0), handler)
    return server.address[1], partial(server.serve_forever, timeout=0.2, blocking=False), server.close_all


def detach():
    # Started from a Windows test under Wine, this process inherits the test
    # runner's pipes; holding them would keep the runner waiting for us.
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    os.closerange(3, 256)


def main():
    mode, root, portfile = sys.argv[1:4]
    detach()
    started = time.monotonic()
    if mode == "https":
        port, step, shutdown = serve_http(root, portfile, tls=sys.argv[4:6])
    else:
        port, step, shutdown = (serve_http if mode == "http" else serve_ftp)(root, portfile)
    announce(portfile, port)
    while not should_stop(portfile, started):
        step()
    shutdown()


if __name__ == "__main__":
    main()
