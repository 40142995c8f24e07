#!/usr/bin/env bash
# The Windows tiers follow what the machine can run. The probe is a tiny
# static i386 program: run under an i386 emulator it must succeed (so on a
# machine with 32-bit support the i686 tier is chosen), under an x86_64-only
# emulator it must fail, and run natively it must agree with the system's own
# i386 loader where that is installed. wine-env.sh must then pick the build,
# the loader and the line that go with the probe's answer.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
probe=$here/../../scripts/lib/probe-32bit.sh
failures=0
check() {  # WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]" >&2; failures=$((failures + 1));
    else echo "ok: $1"; fi
}
answer() { "$@" >/dev/null 2>&1 && echo yes || echo no; }

if command -v qemu-i386 >/dev/null; then
    check "probe under an i386 emulator" yes "$(KLV_PROBE_RUNNER=qemu-i386 answer "$probe")"
    check "probe under an x86_64-only emulator" no "$(KLV_PROBE_RUNNER=qemu-x86_64 answer "$probe")"
else
    echo "FAIL: qemu-i386 missing (scripts/setup.sh installs qemu-user)" >&2; failures=$((failures + 1))
fi
if [ -e /lib/ld-linux.so.2 ]; then
    check "probe agrees with the i386 loader" "$(answer /lib/ld-linux.so.2 --version)" "$(answer "$probe")"
fi

choice() {  # PROBE_COMMAND -> "arch build loader | line"
    (unset KLV_WIN_ARCH; KLV_PROBE_32BIT=$1; . "$here/wine-env.sh" && \
        echo "$KLV_WIN_ARCH $KLV_WIN_BUILD $(basename "$KLV_WINE") ${WINEARCH:-default} | $KLV_WIN_TIER_LINE")
}
check "choice when 32-bit code runs" "i686 build/win32 wine default | Windows tiers: i686 under 32-bit Wine" \
    "$(choice true)"
check "choice when it does not" \
    "x86_64 build/win64 wine64 win64 | Windows tiers: x86_64 under 64-bit Wine: this machine runs no 32-bit code" \
    "$(choice false)"
check "choice on this machine follows the probe" "$(answer "$probe")" \
    "$( [ "$(choice "$probe" | cut -d' ' -f1)" = i686 ] && echo yes || echo no)"
exit $((failures > 0))
