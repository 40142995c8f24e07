#!/usr/bin/env bash
# scripts/setup.sh against a package manager that misbehaves the way Debian's
# mirrors sometimes do: an index that arrives damaged (apt-get update exits
# 100), an install that resolves only with the release as target release, and
# a package that cannot be installed at all. A damaged mirror cannot be had on
# demand, so apt-get, dpkg and dpkg-query are stand-ins on PATH that record
# what they were asked; the script under test is the real one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=$here/../../scripts/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]" >&2; failures=$((failures + 1));
    else echo "ok: $1"; fi
}

mkdir -p "$work/bin"
# Installed: everything but what MISSING lists (a file the apt-get stand-in
# shrinks as it installs).
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/bash
pkg=${@: -1}
grep -qx -- "$pkg" "$KLV_STUB_DIR/missing" && exit 1
echo "install ok installed"
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/bin/bash
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $*" >>"$KLV_STUB_DIR/log"
case " $* " in
    *" update "*) echo "E: File has unexpected size (Mirror sync in progress?)" >&2; exit 100 ;;
esac
with_target=no
case " $* " in *" -t "*) with_target=yes ;; esac
for p in "$@"; do
    case "$p" in -*|install|bookworm|"$KLV_STUB_CODENAME") continue ;; esac
    grep -qx -- "$p" "$KLV_STUB_DIR/uninstallable" && { echo "E: Unable to locate package $p" >&2; exit 100; }
done
[ $with_target = yes ] || { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; }
for p in "$@"; do sed -i "/^$p\$/d" "$KLV_STUB_DIR/missing"; done
exit 0
STUB
chmod +x "$work/bin/"*
export KLV_STUB_DIR=$work KLV_STUB_CODENAME
KLV_STUB_CODENAME=$(. /etc/os-release && echo "$VERSION_CODENAME")

run_setup() {  # MISSING UNINSTALLABLE -> exit code; output in $work/out
    printf '%s\n' $1 >"$work/missing"
    printf '%s\n' $2 >"$work/uninstallable"
    : >"$work/log"
    PATH="$work/bin:$PATH" bash "$setup" >"$work/out" 2>&1
}

# A damaged index and a resolution that needs the target release: set-up
# goes on and installs.
run_setup "wrk xvfb" ""
check "set-up succeeds past a damaged index" 0 $?
check "apt-get update tried twice" 2 "$(grep -c 'apt-get update' "$work/log")"
check "the failed update is reported" yes "$(grep -q 'apt-get update failed' "$work/out" && echo yes || echo no)"
check "install retried with the release as target" yes \
    "$(grep -q -- "-t $KLV_STUB_CODENAME" "$work/log" && echo yes || echo no)"
check "nothing left missing" "" "$(cat "$work/missing")"

# A package that cannot be installed at all: set-up fails and names it, and
# only it.
run_setup "wrk xvfb" "xvfb"
check "set-up fails when a package cannot be installed" 1 $?
check "the failure names the package" "setup: FAILED: cannot install xvfb" "$(grep FAILED "$work/out")"

# Everything present: no package manager call at all.
run_setup "" ""
check "nothing to do when all is installed" "0 0" "$? $(wc -l <"$work/log")"
exit $((failures > 0))
