#!/usr/bin/python3
"""A small FTP server for the tests: binds 127.0.0.1 on a free port, prints
the port on one line of standard output and serves until it is stopped."""

import argparse
import logging
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

# Full rights: list, read, write, rename, delete, make and remove directories.
PERMISSIONS = "elradfmwMT"


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

    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0  # a wrong password is answered at once
    throttled = args.read_limit or args.write_limit
    faulty = args.stall_after >= 0 or args.drop_control_after >= 0 or args.trickle > 0

    class Dtp(ThrottledDTPHandler if throttled else DTPHandler):
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
