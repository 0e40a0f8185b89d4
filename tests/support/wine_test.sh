#!/usr/bin/env bash
# wine_test.sh PROGRAM.exe [ARGS...]
#
# Runs a Windows test program under Wine the way ctest runs a Linux one: in a
# Wine prefix of its own (a copy of MIRODEX_WINE_TEMPLATE, a prefix made once
# with wineboot), with Wine's messages off, beside an FTP broker
# (ftp_server_broker.py) that starts the test FTP servers outside Wine.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
wine=/usr/lib/wine/wine64
template="${MIRODEX_WINE_TEMPLATE:?set MIRODEX_WINE_TEMPLATE to a Wine prefix made with wineboot}"

work="$(mktemp -d)"
broker_pid=""
cleanup() {
    [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
    WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp -a "$template" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# The libraries: the Windows dependencies and the MinGW runtime (libstdc++, winpthreads).
dll_dirs="Z:${MIRODEX_WIN_PREFIX:-/nonexistent}/bin;Z:${MIRODEX_WIN_PREFIX:-/nonexistent}/lib"
for d in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do
    dll_dirs+=";Z:$d"
done
export WINEPATH="$dll_dirs${WINEPATH:+;$WINEPATH}"

/usr/bin/python3 "$here/ftp_server_broker.py" >"$work/broker.port" &
broker_pid=$!
for _ in $(seq 100); do
    [ -s "$work/broker.port" ] && break
    sleep 0.1
done
export MIRODEX_TEST_FTP_BROKER="127.0.0.1:$(head -1 "$work/broker.port")"

rc=0
"$wine" "$@" || rc=$?
exit $rc
