# The one place that knows how Wine is started on this machine; sourced by
# every script that starts Wine (the Windows tests, the e2e sessions, the
# benchmarks and the demo).
#
# The product is the i686 build, and it is proven under 32-bit Wine where the
# kernel runs 32-bit code. Some kernels have 32-bit emulation switched off:
# there 32-bit Wine cannot start at all, and the x86_64 build of the same
# sources is proven under 64-bit Wine with a win64 prefix instead.
#
# Sets:
#   KLV_WIN_ARCH      i686 or x86_64: the Windows build the tiers run
#   KLV_WIN_BUILD     build/win32 or build/win64 (relative to the source tree)
#   KLV_WINE          the Wine loader for that build
#   KLV_WINESERVER    the wineserver that belongs to that loader
#   KLV_WIN_TIER_LINE the line that says which tier runs, and why
#   WINEARCH          win64 for the 64-bit tier (a fresh prefix needs it)
# KLV_WIN_ARCH may be set beforehand to force a choice (i686 or x86_64);
# KLV_PROBE_32BIT names another probe command (the tests use it).

klv_wine_env_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${KLV_WIN_ARCH:-}" ]; then
    if "${KLV_PROBE_32BIT:-$klv_wine_env_dir/../../scripts/lib/probe-32bit.sh}"; then
        KLV_WIN_ARCH=i686
    else
        KLV_WIN_ARCH=x86_64
    fi
fi

case "$KLV_WIN_ARCH" in
    i686)
        KLV_WIN_BUILD=build/win32
        # Debian's wrapper picks the 32-bit loader for a 32-bit program.
        KLV_WINE=$(command -v wine || echo /usr/bin/wine)
        KLV_WINESERVER=$(command -v wineserver || echo /usr/bin/wineserver)
        KLV_WIN_TIER_LINE="Windows tiers: i686 under 32-bit Wine"
        unset WINEARCH
        ;;
    x86_64)
        KLV_WIN_BUILD=build/win64
        KLV_WINE=/usr/lib/wine/wine64
        KLV_WINESERVER=/usr/lib/wine/wineserver64
        KLV_WIN_TIER_LINE="Windows tiers: x86_64 under 64-bit Wine: this machine runs no 32-bit code"
        export WINEARCH=win64
        ;;
    *)
        echo "wine-env: KLV_WIN_ARCH must be i686 or x86_64, not '$KLV_WIN_ARCH'" >&2
        return 1 2>/dev/null || exit 1
        ;;
esac
export KLV_WIN_ARCH KLV_WIN_BUILD KLV_WINE KLV_WINESERVER KLV_WIN_TIER_LINE
