#!/usr/bin/env bash
# Installs the Debian package as an administrator would, uses what it installed
# as a user does, then purges it and checks that nothing of it is left.
#
#   package_test.sh DEB BOOKS_DIR
#
# Changes the system (apt-get install, apt-get purge): root or sudo only, and
# never over a mirodex package already installed. Exit status: 0 passed, 1 failed.
set -euo pipefail
deb="$(realpath "$1")"
books="$(realpath "$2")"

say() { echo "package_test: $*"; }
fail() {
    say "FAILED: $*"
    exit 1
}

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || fail "needs root or sudo to install $deb"
    sudo="sudo"
fi
if dpkg-query -W -f='${db:Status-Status}' mirodex 2>/dev/null | grep -qv '^not-installed$'; then
    fail "a mirodex package is already on this system; this test would replace and purge it"
fi
for tool in Xvfb xdotool xprop desktop-file-validate; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/setup installs it)"
done

work="$(mktemp -d)"
pids=()
installed=0
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    # A failure half-way must not leave the package behind.
    if [ "$installed" = 1 ]; then
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq mirodex >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Without Recommends: what Depends brings must be enough to run.
say "apt-get install $deb"
start=$EPOCHREALTIME
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
    >"$work/install.log" 2>&1 || {
    cat "$work/install.log"
    fail "apt-get install"
}
installed=1
say "installed in $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
dpkg -L mirodex | sort >"$work/files"

# Exactly the programs, the desktop files, the manuals and Debian's documents.
expected=(
    /usr/bin/mirodex
    /usr/bin/mirodex-lookup
    /usr/share/applications/mirodex.desktop
    /usr/share/icons/hicolor/scalable/apps/mirodex.svg
    /usr/share/man/man1/mirodex.1.gz
    /usr/share/man/man1/mirodex-lookup.1.gz
    /usr/share/metainfo/com.pellinor.mirodex.metainfo.xml
    /usr/share/doc/mirodex/changelog.gz
    /usr/share/doc/mirodex/copyright
)
for size in 16 24 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/mirodex.png")
done
while IFS= read -r f; do
    [ -d "$f" ] && continue
    printf '%s\n' "${expected[@]}" | grep -qxF "$f" || fail "the package installs $f, which is not wanted"
done <"$work/files"
for f in "${expected[@]}"; do
    grep -qxF "$f" "$work/files" || fail "the package lacks $f"
done
desktop-file-validate /usr/share/applications/mirodex.desktop || fail "desktop-file-validate"

# A user of its own: nothing of the caller's settings or books is read or touched.
home="$work/home"
mkdir -p "$home/config" "$home/data" "$home/runtime"
chmod 700 "$home/runtime"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
data="$XDG_DATA_HOME/Pellinor/Mirodex"

# The installed look-up on the sample books, as the README shows it.
out="$(/usr/bin/mirodex-lookup --private "$books/PrivateTel.txt" --public "$books/PublicTel.txt" zs)" ||
    fail "mirodex-lookup on the sample books ended with $?"
printf '%s\n' "$out" | grep -qxF "$(printf '张三\t8124\t702\t13727519409')" ||
    fail "mirodex-lookup zs on the sample books printed: $out"
# With no books of its own it names the user's data folder: no sample stands in.
status=0
/usr/bin/mirodex-lookup >/dev/null 2>"$work/lookup.err" || status=$?
[ "$status" -eq 1 ] || fail "mirodex-lookup with no books ended with $status"
grep -qF "$data/PublicTel.txt" "$work/lookup.err" || fail "public book not looked for in $data: $(cat "$work/lookup.err")"

# The installed program on a screen of its own, with a window manager so the
# boxes get the keyboard.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 15 display_number <"$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display_number"
if command -v openbox >/dev/null 2>&1; then
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
fi
/usr/bin/mirodex >"$work/mirodex.log" 2>&1 &
pid=$!
pids+=("$pid")

# First start as any user's: a box for each missing book, then the window.
boxes=()
window=""
for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || fail "mirodex ended: $(cat "$work/mirodex.log")"
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        case "$(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null)" in
        *_NET_WM_WINDOW_TYPE_DIALOG*)
            [[ " ${boxes[*]} " == *" $w "* ]] || boxes+=("$w")
            xdotool windowactivate --sync "$w" key Return 2>/dev/null || true
            ;;
        *_NET_WM_WINDOW_TYPE_NORMAL*) window="$w" ;;
        esac
    done
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || fail "no window of the installed mirodex: $(cat "$work/mirodex.log")"
[ ${#boxes[@]} -ge 1 ] || fail "the first start reported no missing book"
[ ! -e "$data/PublicTel.txt" ] || fail "a public book appeared in $data without a download"
say "window $window ($(xdotool getwindowname "$window")) after ${#boxes[@]} box(es) for the missing books"
kill "$pid"
wait "$pid" 2>/dev/null || true

say "apt-get purge mirodex"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq mirodex >"$work/purge.log" 2>&1 || {
    cat "$work/purge.log"
    fail "apt-get purge"
}
installed=0
dpkg-query -W mirodex >/dev/null 2>&1 && fail "dpkg still knows mirodex after the purge"
while IFS= read -r f; do
    [ -d "$f" ] && continue
    if [ -e "$f" ] || [ -L "$f" ]; then
        fail "left after the purge: $f"
    fi
done <"$work/files"
[ ! -e /usr/share/doc/mirodex ] || fail "left after the purge: /usr/share/doc/mirodex"
say "passed: installed, used and purged without a trace (${#expected[@]} files)"
