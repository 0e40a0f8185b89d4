#!/usr/bin/python3
"""Starts test servers for test programs that run under Wine and so cannot
start Linux programs themselves.

Listens on 127.0.0.1 and a free port, prints the port on one line. A test
connects and sends one line, in JSON:
- a list: the arguments of an FTP server (ftp_server.py), Windows paths and
  all. The broker starts that server and answers with the server's first line
  (its port). A line "kill" ends it and is answered "killed".
- an object {"run": [program, args...], "cwd": folder}: any program (the
  directory server's tools), in that folder, its Windows path arguments turned
  into this machine's. Answered "started", then "exited N" when it ends; a
  line "kill" ends it.
The process lives as long as the connection: a closed connection ends it too.

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


def run(conn, reader, request):
    args = [unix_path(arg) for arg in request["run"]]
    process = subprocess.Popen(args, cwd=unix_path(request["cwd"]), stdout=subprocess.DEVNULL)
    conn.sendall(b"started\n")

    def report():
        code = process.wait()
        try:
            conn.sendall(b"exited %d\n" % code)
        except OSError:
            pass

    threading.Thread(target=report, daemon=True).start()
    for line in reader:
        if line.strip() == b"kill":
            process.kill()
    return process


def serve(conn):
    server = None
    try:
        reader = conn.makefile("rb")
        args = json.loads(reader.readline().decode("utf-8"))
        if isinstance(args, dict):
            server = run(conn, reader, args)
            return
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
    except (OSError, ValueError, KeyError) as error:
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
