#!/usr/bin/python3
"""A small FTP server for the tests: binds 127.0.0.1 on a free port, prints
the port on one line of standard output and serves until it is stopped."""

import argparse
import logging
import os
import random
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

# Full rights: list, read, write, rename, delete, make and remove directories.
PERMISSIONS = "elradfmwMT"


def make_certificate(folder):
    """A fresh self-signed certificate for 127.0.0.1: trusted by nobody unless told."""
    from OpenSSL import crypto

    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.set_version(2)
    cert.get_subject().CN = "127.0.0.1"
    cert.set_serial_number(random.getrandbits(63))
    cert.gmtime_adj_notBefore(-3600)
    cert.gmtime_adj_notAfter(7 * 24 * 3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    # The address also as a DNS name: curl on Schannel, checking against a
    # given CA file itself, matches DNS names only.
    cert.add_extensions([crypto.X509Extension(b"subjectAltName", False, b"IP:127.0.0.1, DNS:127.0.0.1"),
                         crypto.X509Extension(b"basicConstraints", True, b"CA:TRUE")])
    cert.sign(key, "sha256")
    paths = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    with open(paths[0], "wb") as f:
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
    with open(paths[1], "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))
    return paths


def tls_handler(base, folder):
    """`base` behind AUTH TLS, required on both connections. A login before
    AUTH is refused with 530, as vsftpd and others answer it."""
    from pyftpdlib.handlers import TLS_FTPHandler

    class Handler(TLS_FTPHandler, base):
        tls_control_required = True
        tls_data_required = True

        def process_command(self, cmd, *args, **kwargs):
            if cmd in ("USER", "PASS") and not self._ssl_established:
                self.respond("530 Non-anonymous sessions must use encryption.")
                return
            super().process_command(cmd, *args, **kwargs)

    Handler.certfile, Handler.keyfile = make_certificate(folder)
    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True, help="folder served as /")
    parser.add_argument("--anonymous", action="store_true", help="allow anonymous login")
    parser.add_argument("--user", help="user name for a password login")
    parser.add_argument("--password", default="", help="password of --user")
    parser.add_argument("--read-limit", type=int, default=0,
                        help="bytes per second the server accepts on uploads (0 = no limit)")
    parser.add_argument("--write-limit", type=int, default=0,
                        help="bytes per second the server sends on downloads (0 = no limit)")
    parser.add_argument("--stall-after", type=int, default=-1,
                        help="bytes a download sends before its data connection goes quiet for good")
    parser.add_argument("--drop-control-after", type=int, default=-1,
                        help="bytes a download sends before the server closes the control connection")
    parser.add_argument("--trickle", type=int, default=0,
                        help="bytes a download sends every 0.1 s, so it moves slowly but steadily (0 = no pacing)")
    parser.add_argument("--hold-226", type=float, default=0,
                        help="seconds a download's closing 226 reply is held back (negative: never sent)")
    parser.add_argument("--hold-221", type=float, default=0,
                        help="seconds the reply to QUIT is held back")
    parser.add_argument("--hostile", action="store_true",
                        help="PWD answers a path outside the root with a bare CR in it, "
                             "NLST lists absolute and parent paths")
    parser.add_argument("--tls", metavar="DIR",
                        help="require AUTH TLS on the control and data connections, with a certificate for "
                             "127.0.0.1 made into DIR (cert.pem, key.pem)")
    args = parser.parse_args()
    if not args.anonymous and not args.user:
        parser.error("give --anonymous, --user or both")

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    warnings.simplefilter("ignore")  # the anonymous write warning

    authorizer = DummyAuthorizer()
    if args.user:
        authorizer.add_user(args.user, args.password, args.root, perm=PERMISSIONS)
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm=PERMISSIONS)

    class Handler(FTPHandler):
        if args.hostile:
            def ftp_PWD(self, line):
                self.respond('257 "/../../etc\rDELE /victim.txt" is the current directory.')

            def ftp_NLST(self, path):
                self.push_dtp_data(b"/etc/passwd\r\n../escape.txt\r\n..\\windows.txt\r\n", cmd="NLST")
                return path

        if args.hold_221 > 0:
            def ftp_QUIT(self, line):
                self.call_later(args.hold_221, FTPHandler.ftp_QUIT, self, line)

    if args.tls:
        Handler = tls_handler(Handler, args.tls)
    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0  # a wrong password is answered at once
    throttled = args.read_limit or args.write_limit
    faulty = args.stall_after >= 0 or args.drop_control_after >= 0 or args.trickle > 0

    dtp_bases = (ThrottledDTPHandler if throttled else DTPHandler,)
    if args.tls:
        from pyftpdlib.handlers import TLS_DTPHandler
        dtp_bases = (TLS_DTPHandler,) + dtp_bases

    class Dtp(*dtp_bases):
        """Counts what a download sends and misbehaves as told."""

        if throttled:
            read_limit = args.read_limit
            write_limit = args.write_limit
        if faulty:
            ac_out_buffer_size = args.trickle or 4096

            def use_sendfile(self):
                return False

            def send(self, data):
                sent_so_far = getattr(self, "sent_so_far", 0)
                if args.stall_after >= 0:
                    data = data[:max(0, args.stall_after - sent_so_far)]
                    if not data:
                        self.del_channel()  # nothing more, and no end either
                        return 0
                sent = super().send(data)
                self.sent_so_far = sent_so_far + sent
                if 0 <= args.drop_control_after <= self.sent_so_far:
                    self.cmd_channel.close()
                elif args.trickle > 0 and sent:
                    self.del_channel()
                    self.call_later(0.1, self.add_channel, events=self.ioloop.WRITE)
                return sent

        if args.tls:
            # Clients such as libcurl start TLS on a data connection as soon as
            # it is open, before the transfer command; pyftpdlib would take
            # that early ClientHello for a hang-up.
            def readable(self):
                if self._ssl_accepting:
                    return True
                if not self.receive and not self._initialized:
                    return False
                return super().readable()

        if args.hold_226:
            def close(self):
                resp, cmd = self._resp, self.cmd_channel
                held = not self._closed and resp and resp[0].startswith("226")
                if held:
                    self._resp = ()  # closed now, answered later (or never)
                super().close()
                if held and args.hold_226 > 0:
                    cmd.call_later(args.hold_226, cmd.respond, resp[0])

    Handler.dtp_handler = Dtp

    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
