#!/usr/bin/env bash
# Installs what the build and every test tier need, from Debian's packages.
# Idempotent: when everything is already there it only checks and returns.
#
# It does not give up early: a package index that arrives damaged is reported
# and the indexes that did arrive are used; an install that does not resolve
# (candidates from a suite whose i386 half is missing) is retried with the
# release's codename as the target release. It fails only when a package it
# needs really cannot be installed, and then names it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")

runs_32bit=0
if "$here/lib/probe-32bit.sh"; then runs_32bit=1; fi

packages=(cmake g++ make ninja-build libgtest-dev googletest zlib1g-dev libssl-dev osslsigncode openssl
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
          binutils-mingw-w64-i686 wine wine64 xvfb imagemagick locales fonts-wqy-microhei
          clang libclang-rt-14-dev curl nginx-light procps xdotool wrk qemu-user iproute2 haproxy
          libboost-dev clang-format)
# 32-bit Wine only where the kernel runs 32-bit code; elsewhere the Windows
# tiers run the x86_64 build under 64-bit Wine and the i386 indexes are not needed.
if [ $runs_32bit = 1 ]; then
    packages+=(wine32:i386)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding the i386 architecture (for 32-bit Wine)"
        $SUDO dpkg --add-architecture i386
        index_stale=1
    fi
fi

missing=()
for p in "${packages[@]}"; do have_pkg "$p" || missing+=("$p"); done

apt_update() {
    local attempt
    for attempt in 1 2; do
        if $SUDO apt-get update -qq; then return 0; fi
        echo "setup: apt-get update failed (attempt $attempt of 2)" >&2
    done
    echo "setup: going on with the package indexes that did arrive" >&2
}

# Installs the given packages; on a resolution failure tries again with the
# release as target release, then package by package so that the one that
# really cannot be installed is named.
apt_install() {
    local opts=(-y -qq --no-install-recommends)
    $SUDO apt-get install "${opts[@]}" "$@" >/dev/null && return 0
    if [ -n "$codename" ]; then
        echo "setup: install did not resolve; retrying with target release $codename" >&2
        $SUDO apt-get install "${opts[@]}" -t "$codename" "$@" >/dev/null && return 0
    fi
    local p failed=()
    for p in "$@"; do
        have_pkg "$p" && continue
        $SUDO apt-get install "${opts[@]}" "$p" >/dev/null 2>&1 && continue
        [ -n "$codename" ] && $SUDO apt-get install "${opts[@]}" -t "$codename" "$p" >/dev/null 2>&1 && continue
        failed+=("$p")
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "setup: FAILED: cannot install ${failed[*]}" >&2
        return 1
    fi
}

if [ ${#missing[@]} -gt 0 ] || [ "${index_stale:-0}" = 1 ]; then
    echo "setup: installing ${missing[*]}"
    apt_update
    if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}" || exit 1; fi
fi

# Wine runs the Windows tiers under code page 936; without the generated locale
# GetACP() silently stays 1252.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    echo "setup: generating the zh_CN.UTF-8 locale"
    $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null || { echo "setup: FAILED: locale-gen" >&2; exit 1; }
fi
echo "setup: all build and test dependencies present"
