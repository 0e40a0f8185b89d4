#!/usr/bin/python3
"""Starts test FTP servers (ftp_server.py) for test programs that run under
Wine and so cannot start a Linux interpreter themselves.

Listens on 127.0.0.1 and a free port, prints the port on one line. A test
connects and sends one line: the server's arguments as a JSON list, Windows
paths and all. The broker starts that server and answers with the server's
first line (its port). The server lives as long as the connection: a line
"kill" ends it and is answered "killed"; a closed connection ends it too.

Windows paths ("C:\\users\\...") are turned into this machine's paths through
the drive links of the Wine prefix in WINEPREFIX.
"""

import json
import os
import re
import socket
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "ftp_server.py")


def unix_path(path):
    match = re.match(r"^([A-Za-z]):[\\/](.*)$", path)
    if not match:
        return path
    drive = os.path.join(os.environ["WINEPREFIX"], "dosdevices", match.group(1).lower() + ":")
    return os.path.join(os.path.realpath(drive), match.group(2).replace("\\", "/"))


def serve(conn):
    server = None
    try:
        reader = conn.makefile("rb")
        args = json.loads(reader.readline().decode("utf-8"))
        # The folders the server reads or writes, named as Windows names them.
        for option in ("--root", "--tls"):
            if option in args:
                i = args.index(option) + 1
                args[i] = unix_path(args[i])
        server = subprocess.Popen([sys.executable, SERVER] + args, stdout=subprocess.PIPE)
        first = server.stdout.readline() or b"!the FTP server ended at once\n"
        conn.sendall(first)
        for line in reader:
            if line.strip() == b"kill":
                server.kill()
                server.wait()
                conn.sendall(b"killed\n")
    except (OSError, ValueError) as error:
        try:
            conn.sendall(("!%s\n" % error).encode("utf-8"))
        except OSError:
            pass
    finally:
        if server and server.poll() is None:
            server.kill()
            server.wait()
        conn.close()


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
