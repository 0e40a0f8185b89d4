#!/usr/bin/env bash
# The README's terminal look-up example right after scripts/run, on a machine
# without a display and in a build tree nobody has used: it prints what the
# README says it prints.
#
#   readme_lookup.sh SOURCE_DIR PROGRAM_DIR
#
# PROGRAM_DIR holds the built mirodex and mirodex-lookup. Exit status: 0 passed, 1 failed.
set -euo pipefail
src="$1"
programs="$2"

fail() {
    echo "readme_lookup: FAILED: $*"
    exit 1
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A fresh build tree: the two programs in their folder, no books, no settings.
build="$work/build/release"
mkdir -p "$build/bin"
cp "$programs/mirodex" "$programs/mirodex-lookup" "$build/bin/"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
unset DISPLAY WAYLAND_DISPLAY

if MIRODEX_BUILD_DIR="$build" MIRODEX_NO_BUILD=1 bash "$src/scripts/run" >"$work/run.log" 2>&1; then
    fail "scripts/run claims to have started the window without a display"
fi
grep -q "no display" "$work/run.log" || fail "scripts/run: $(cat "$work/run.log")"

# The first look-up example of the README, with the line it prints after '# '.
example="$(grep -m1 '^build/release/bin/mirodex-lookup ' "$src/README.md")" || fail "no look-up example in README.md"
command="${example%%#*}"
expected="${example#*# }"
# shellcheck disable=SC2086 # the example's words, as a shell splits them
got="$(cd "$work" && $command 2>"$work/err")" || fail "'$command' failed: $(cat "$work/err")"
[ "$got" = "$expected" ] || fail "'$command' printed '$got', the README says '$expected'"
[ ! -s "$work/err" ] || fail "'$command' complained: $(cat "$work/err")"
echo "readme_lookup: $command -> $got"
