#!/usr/bin/env python3
"""A local HTTPS update server for the update tests.

Makes a fresh test CA and server certificate with openssl in the state folder,
then serves on 127.0.0.1 (ports chosen by the system):

  trusted    certificate signed by the test CA (the test trusts that CA in its
             own Wine prefix only)
  untrusted  certificate signed by a second CA that nobody trusts

and names a third port on which nothing listens ("down"), and a plain-http
server on a fourth port ("http") that publishes the certificate revocation
list of the code-signing CA and answers the same routes. The code-signing CA
issues the certificates that sign installers with osslsigncode (sign_file),
each with its chain and with the revocation list's address:

  publisher  the publisher's key (the tests pin the SHA-256 of its public key)
  renewed    a later certificate for the same key
  revoked    another certificate for the same key, on the revocation list
  expired    another certificate for the same key, expired yesterday
  unchecked  another certificate for the same key, whose revocation list is
             at an address where nothing answers
  successor  the publisher's next key (a second pin)
  other      somebody else's key

It writes server.txt (key=value lines) once it is ready.

The answers come from files that the test writes into <state>/routes:
  version.body / version.status        for /versioninfo/hivemend/
  installer.body / installer.status    for /files/alpha/hivemendsetup64.exe
A missing .body answers 404 with an HTML page; a missing .status means 200.
An optional .mode file changes how the body is sent:
  stall           half of the body, then nothing until <state>/release exists
                  (at most 120 s), then the connection is closed
  short           the whole body, but a Content-Length 1000 bytes larger
  nolength        the body without a Content-Length, then the connection is closed
  redirect-https  302 to /redirected/<route> on the same server, which answers
                  with the route's body
  redirect-http   302 to http://127.0.0.1:<http port>/redirected/<route>
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
    "/redirected/version": "version",
    "/redirected/installer": "installer",
}
CRL_PATH = "/crl/signing-ca.crl"
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


def make_signing_certificates(folder, crl_url, dead_crl_url):
    """The code-signing CA, its certificates (see above) and its revocation
    list; returns {name: SHA-256 of the public key as 64 hexadecimal digits}."""
    import datetime
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

    now = datetime.datetime.now(datetime.timezone.utc)
    day = datetime.timedelta(days=1)

    def new_key():
        return rsa.generate_private_key(public_exponent=65537, key_size=2048)

    def name(text):
        return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])

    def write(path, data):
        with open(path, "wb") as f:
            f.write(data)

    def pem(certificate):
        return certificate.public_bytes(serialization.Encoding.PEM)

    ca_key = new_key()
    ca = (x509.CertificateBuilder().subject_name(name("Hivemend Test Code Signing CA"))
          .issuer_name(name("Hivemend Test Code Signing CA")).public_key(ca_key.public_key())
          .serial_number(x509.random_serial_number()).not_valid_before(now - day).not_valid_after(now + 2 * day)
          .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
          .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
          .sign(ca_key, hashes.SHA256()))
    keys = {"publisher": new_key(), "successor": new_key(), "other": new_key()}
    kinds = {"publisher": "publisher", "renewed": "publisher", "revoked": "publisher", "expired": "publisher",
             "unchecked": "publisher", "successor": "successor", "other": "other"}
    revoked_serial = None
    for cert_name, key_name in kinds.items():
        key = keys[key_name]
        start, end = (now - 3 * day, now - day) if cert_name == "expired" else (now - day, now + 2 * day)
        certificate = (x509.CertificateBuilder().subject_name(name("Hivemend Test " + cert_name))
                       .issuer_name(ca.subject).public_key(key.public_key())
                       .serial_number(x509.random_serial_number()).not_valid_before(start).not_valid_after(end)
                       .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
                       .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.CODE_SIGNING]), critical=False)
                       .add_extension(x509.CRLDistributionPoints([x509.DistributionPoint(
                           [x509.UniformResourceIdentifier(dead_crl_url if cert_name == "unchecked" else crl_url)],
                           None, None, None)]), critical=False)
                       .sign(ca_key, hashes.SHA256()))
        if cert_name == "revoked":
            revoked_serial = certificate.serial_number
        write(os.path.join(folder, cert_name + ".pem"), pem(certificate) + pem(ca))  # with its chain
        write(os.path.join(folder, cert_name + ".key"), key.private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.TraditionalOpenSSL,
            serialization.NoEncryption()))
    revoked = (x509.RevokedCertificateBuilder().serial_number(revoked_serial).revocation_date(now - day).build())
    crl = (x509.CertificateRevocationListBuilder().issuer_name(ca.subject).last_update(now - day)
           .next_update(now + 2 * day).add_revoked_certificate(revoked).sign(ca_key, hashes.SHA256()))
    write(os.path.join(folder, "signing-ca.crl"), crl.public_bytes(serialization.Encoding.DER))
    return {k: hashlib.sha256(v.public_key().public_bytes(
        serialization.Encoding.DER, serialization.PublicFormat.SubjectPublicKeyInfo)).hexdigest()
        for k, v in keys.items()}


def sign_file(state, signer, source, target):
    """Signs source as target with one of the certificates above, its chain embedded."""
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
        if self.path == CRL_PATH:
            with open(os.path.join(state, "certs", "signing-ca.crl"), "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/pkix-crl")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
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
        if self.path.startswith("/redirected/"):
            mode = ""
        elif mode.startswith("redirect-"):
            target = "/redirected/" + name
            if mode == "redirect-http":
                target = "http://127.0.0.1:%d%s" % (self.server.http_port, target)
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream" if status == 200 else "text/html")
        if mode == "nolength":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
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


def listen(state, kind):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.state, server.kind = state, kind
    return server


def serve(server, http_port, key=None, cert=None):
    """Serves on its own thread, with TLS when given a key and certificate."""
    server.http_port = http_port
    if key:
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
    plain = listen(state, "http")
    http_port = plain.server_address[1]
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    down = probe.getsockname()[1]
    probe.close()
    pins = make_signing_certificates(certs, "http://127.0.0.1:%d%s" % (http_port, CRL_PATH),
                                     "http://127.0.0.1:%d%s" % (down, CRL_PATH))

    serve(plain, http_port)
    trusted = serve(listen(state, "trusted"), http_port, leaf_key, leaf_cert)
    untrusted = serve(listen(state, "untrusted"), http_port, bad_key, bad_cert)

    ready = os.path.join(state, "server.txt")
    with open(ready + ".tmp", "w") as f:
        f.write("trusted_port=%d\nuntrusted_port=%d\ndown_port=%d\nhttp_port=%d\nca_sha1=%s\n"
                "publisher_pin=%s\nsuccessor_pin=%s\n"
                % (trusted, untrusted, down, http_port, hashlib.sha1(der).hexdigest().upper(),
                   pins["publisher"], pins["successor"]))
    os.replace(ready + ".tmp", ready)
    sys.stdin.read()  # serve until the driver closes our input


if __name__ == "__main__":
    main()
