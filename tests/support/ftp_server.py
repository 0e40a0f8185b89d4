#!/usr/bin/python3
"""A small FTP server for the tests: binds 127.0.0.1 on a free port, prints
the port on one line of standard output and serves until it is stopped."""

import argparse
import logging
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
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
        pass

    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0  # a wrong password is answered at once
    if args.read_limit or args.write_limit:
        class Throttled(ThrottledDTPHandler):
            pass

        Throttled.read_limit = args.read_limit
        Throttled.write_limit = args.write_limit
        Handler.dtp_handler = Throttled

    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
