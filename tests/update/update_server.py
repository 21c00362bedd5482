#!/usr/bin/env python3
"""A local HTTPS update server for the update tests.

Makes a fresh test CA and server certificate with openssl in the state folder,
then serves on 127.0.0.1 (ports chosen by the system):

  trusted    certificate signed by the test CA (the test trusts that CA in its
             own Wine prefix only)
  untrusted  certificate signed by a second CA that nobody trusts

and names a third port on which nothing listens ("down"). It also makes two
code-signing certificates, "publisher" (whose SHA-256 the tests pin) and
"other", for signing installers with osslsigncode (sign_file). It writes
server.txt (key=value lines) once it is ready.

The answers come from files that the test writes into <state>/routes:
  version.body / version.status        for /versioninfo/hivemend/
  installer.body / installer.status    for /files/alpha/hivemendsetup64.exe
A missing .body answers 404 with an HTML page; a missing .status means 200.
An optional .mode file changes how the body is sent:
  stall   half of the body, then nothing until <state>/release exists (at most
          120 s), then the connection is closed
  short   the whole body, but a Content-Length 1000 bytes larger
Every request is appended to <state>/requests.log as "<server> <path>".
"""
import argparse
import hashlib
import http.server
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

ROUTES = {
    "/versioninfo/hivemend/": "version",
    "/files/alpha/hivemendsetup64.exe": "installer",
}
NOT_FOUND = (b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
             b"<p>9.9.9.9</p></body></html>\n")


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_ca(folder, name):
    key, cert = os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
            "-days", "2", "-subj", "/CN=Hivemend Test CA " + name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return key, cert


def make_signer(folder, name):
    """A self-signed code-signing certificate; returns (key, cert, sha256 of its DER)."""
    key, cert = os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
            "-days", "2", "-subj", "/CN=Hivemend Test " + name,
            "-addext", "extendedKeyUsage=codeSigning")
    with open(cert) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    return key, cert, hashlib.sha256(der).hexdigest()


def sign_file(state, signer, source, target):
    """Signs source as target with the certificate "publisher" or "other" of the state folder."""
    certs = os.path.join(state, "certs")
    subprocess.run(["osslsigncode", "sign", "-certs", os.path.join(certs, signer + ".pem"),
                    "-key", os.path.join(certs, signer + ".key"), "-in", source, "-out", target],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_leaf(folder, name, ca_key, ca_cert):
    key, csr, cert = (os.path.join(folder, name + ext) for ext in (".key", ".csr", ".pem"))
    ext = os.path.join(folder, name + ".ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:localhost,DNS:127.0.0.1,IP:127.0.0.1\n"
                "extendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial",
            "-out", cert, "-days", "2", "-extfile", ext)
    return key, cert


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        state = self.server.state
        with open(os.path.join(state, "requests.log"), "a") as log:
            log.write("%s %s\n" % (self.server.kind, self.path))
        name = ROUTES.get(self.path)
        status, body = 404, NOT_FOUND
        if name:
            base = os.path.join(state, "routes", name)
            if os.path.exists(base + ".body"):
                with open(base + ".body", "rb") as f:
                    body = f.read()
                status = 200
                if os.path.exists(base + ".status"):
                    with open(base + ".status") as f:
                        status = int(f.read().strip())
        mode = ""
        if name and os.path.exists(os.path.join(state, "routes", name + ".mode")):
            with open(os.path.join(state, "routes", name + ".mode")) as f:
                mode = f.read().strip()
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream" if status == 200 else "text/html")
        self.send_header("Content-Length", str(len(body) + (1000 if mode == "short" else 0)))
        self.end_headers()
        if mode == "stall":
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            release = os.path.join(state, "release")
            deadline = time.monotonic() + 120
            while not os.path.exists(release) and time.monotonic() < deadline:
                time.sleep(0.05)
            self.close_connection = True
            return
        self.wfile.write(body)
        if mode == "short":
            self.close_connection = True


def serve(state, kind, key, cert):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.state, server.kind = state, kind
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    args = parser.parse_args()
    state = os.path.abspath(args.state)
    os.makedirs(os.path.join(state, "routes"), exist_ok=True)
    certs = os.path.join(state, "certs")
    os.makedirs(certs, exist_ok=True)

    ca_key, ca_cert = make_ca(certs, "trusted-ca")
    leaf_key, leaf_cert = make_leaf(certs, "trusted-leaf", ca_key, ca_cert)
    other_key, other_cert = make_ca(certs, "untrusted-ca")
    bad_key, bad_cert = make_leaf(certs, "untrusted-leaf", other_key, other_cert)
    with open(ca_cert) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    with open(os.path.join(state, "ca.der"), "wb") as f:
        f.write(der)
    publisher = make_signer(certs, "publisher")[2]
    make_signer(certs, "other")

    trusted = serve(state, "trusted", leaf_key, leaf_cert)
    untrusted = serve(state, "untrusted", bad_key, bad_cert)
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    down = probe.getsockname()[1]
    probe.close()

    ready = os.path.join(state, "server.txt")
    with open(ready + ".tmp", "w") as f:
        f.write("trusted_port=%d\nuntrusted_port=%d\ndown_port=%d\nca_sha1=%s\npublisher_sha256=%s\n"
                % (trusted, untrusted, down, hashlib.sha1(der).hexdigest().upper(), publisher))
    os.replace(ready + ".tmp", ready)
    sys.stdin.read()  # serve until the driver closes our input


if __name__ == "__main__":
    main()
