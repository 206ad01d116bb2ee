#!/usr/bin/python3
"""Loopback FTP server for the tests, on pyftpdlib, with the faults ftp_server.h lists.

Binds 127.0.0.1 on --port (0: a free one), prints "READY <port>" once it accepts connections
and logs every command (DEBUG) to --log. A refused login is answered after 0.2 s, not 3 s.
"""
import argparse
import logging
import socket
import sys
import time


def make_certificate(cert_path, key_path, name="127.0.0.1", expired=False):
    from OpenSSL import crypto

    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.set_version(2)
    cert.get_subject().CN = name
    cert.set_serial_number(int(time.time() * 1000))
    cert.gmtime_adj_notBefore(-7 * 24 * 3600)
    cert.gmtime_adj_notAfter(-24 * 3600 if expired else 7 * 24 * 3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.add_extensions([
        crypto.X509Extension(b"basicConstraints", True, b"CA:TRUE"),
        crypto.X509Extension(b"subjectAltName", False,
                             b"IP:127.0.0.1,DNS:localhost" if name == "127.0.0.1" else b"DNS:" + name.encode()),
    ])
    cert.sign(key, "sha256")
    with open(cert_path, "wb") as f:
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
    with open(key_path, "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))


def run_mute(port):
    # Accepts and keeps every connection open without ever sending a byte.
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", port))
    srv.listen(16)
    print("READY %d" % srv.getsockname()[1], flush=True)
    held = []
    while True:
        conn, _ = srv.accept()
        held.append(conn)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--root", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--log", default="")
    p.add_argument("--tls", action="store_true")
    p.add_argument("--cert", default="")
    p.add_argument("--cert-name", default="127.0.0.1")  # the name the certificate is issued for
    p.add_argument("--cert-expired", action="store_true")
    p.add_argument("--idle-timeout", type=float, default=0)
    p.add_argument("--throttle", type=int, default=0)
    p.add_argument("--mute", action="store_true")
    p.add_argument("--lie-size", type=int, default=0)  # SIZE answers this many bytes too many
    p.add_argument("--drop-after", default="")  # a command word: carried out once without a reply
    p.add_argument("--refuse", default="")  # a command word answered with --refusal
    p.add_argument("--refusal", default="550 Unable to handle command")
    p.add_argument("--absolute-home", action="store_true")  # PWD shows the machine's path
    a = p.parse_args()

    if a.mute:
        run_mute(a.port)
        return

    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer

    if a.log:
        handler_out = logging.FileHandler(a.log)
        handler_out.setFormatter(logging.Formatter("[%(asctime)s] %(message)s"))
        logger = logging.getLogger("pyftpdlib")
        logger.setLevel(logging.DEBUG)
        logger.addHandler(handler_out)
        logger.propagate = False

    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, a.root, perm="elradfmwMT")

    if a.tls:
        from pyftpdlib.handlers import TLS_FTPHandler, TLS_DTPHandler
        key_path = a.cert + ".key"
        make_certificate(a.cert, key_path, a.cert_name, a.cert_expired)

        class Handler(TLS_FTPHandler):
            pass
        Handler.certfile = a.cert
        Handler.keyfile = key_path
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        # A session id context lets clients resume the control connection's TLS session on
        # the data connections (libcurl does; without it OpenSSL refuses the handshake).
        Handler.get_ssl_context().set_session_id(b"pedidosftp-tests")

        class DataHandler(TLS_DTPHandler):
            # pyftpdlib closes a data connection that turns readable before a transfer
            # command arrives; libcurl starts the TLS handshake on the data connection right
            # after connecting, so keep it readable while that handshake is under way.
            def readable(self):
                if self._ssl_requested and not self._ssl_established:
                    return True
                return super().readable()
        dtp = DataHandler
    else:
        class Handler(FTPHandler):
            pass
        dtp = None

    if a.throttle > 0:
        # Plain sessions only: the data channel sends at most --throttle bytes per second.
        class Throttled(ThrottledDTPHandler):
            pass
        Throttled.read_limit = a.throttle
        Throttled.write_limit = a.throttle
        dtp = Throttled
    if dtp is not None:
        Handler.dtp_handler = dtp

    if a.lie_size:
        def ftp_SIZE(self, path, _base=Handler.ftp_SIZE):
            # Report a size larger than the file holds, as a file cut short on its way would.
            real = self.respond
            def respond(resp, *args, **kwargs):
                if resp.startswith("213 "):
                    resp = "213 %d" % (int(resp[4:]) + a.lie_size)
                return real(resp, *args, **kwargs)
            self.respond = respond
            try:
                return _base(self, path)
            finally:
                del self.respond
        Handler.ftp_SIZE = ftp_SIZE

    if a.drop_after:
        word = a.drop_after.upper()
        carried_out = getattr(Handler, "ftp_" + word)
        dropped = []

        def drop_after(self, *args, _base=carried_out):
            if dropped:
                return _base(self, *args)
            dropped.append(word)
            self.respond = lambda *x, **k: None
            try:
                return _base(self, *args)
            finally:
                del self.respond
                self.close()
        setattr(Handler, "ftp_" + word, drop_after)

    if a.refuse:
        setattr(Handler, "ftp_" + a.refuse.upper(),
                lambda self, *args: self.respond(a.refusal))

    if a.absolute_home:
        # The login folder as an absolute path of the machine, as servers without chroot show it.
        from pyftpdlib.filesystems import AbstractedFS

        class WholeFS(AbstractedFS):
            def __init__(self, root, cmd_channel):
                super().__init__("/", cmd_channel)
                self.cwd = root
        Handler.abstracted_fs = WholeFS

    # Names as their bytes on disk, whatever their encoding (pyftpdlib would put "?" for bytes
    # that are not UTF-8), as servers on POSIX file systems send them.
    Handler.unicode_errors = "surrogateescape"
    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0.2
    Handler.banner = "pedidosftp test server ready."
    if a.idle_timeout > 0:
        Handler.timeout = a.idle_timeout
    server = FTPServer(("127.0.0.1", a.port), Handler)
    port = server.address[1]
    # Passive ports derived from the control port, so servers of tests running side by side
    # rarely share a range (pyftpdlib moves on to another port of the range when one is taken).
    first = 10000 + (port % 400) * 50
    Handler.passive_ports = range(first, first + 50)
    print("READY %d" % port, flush=True)
    # A bounded poll lets pyftpdlib run its timers (the idle time-out) on a quiet server.
    server.serve_forever(timeout=0.2, handle_exit=True)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
    sys.exit(0)
