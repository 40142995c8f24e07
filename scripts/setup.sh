#!/usr/bin/env bash
# Installs what the build and every test tier need, from Debian's packages.
# Idempotent: when everything is already there it only checks and returns.
set -euo pipefail

need_apt=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture (for 32-bit Wine)"
    $SUDO dpkg --add-architecture i386
    updated_needed=1
fi

for p in cmake g++ make ninja-build libgtest-dev googletest zlib1g-dev \
         g++-mingw-w64-i686 libz-mingw-w64-dev \
         wine wine32:i386 wine64 xvfb imagemagick locales fonts-wqy-microhei \
         clang libclang-rt-14-dev curl nginx-light procps xdotool; do
    have_pkg "$p" || need_apt+=("$p")
done

if [ ${#need_apt[@]} -gt 0 ] || [ "${updated_needed:-0}" = 1 ]; then
    echo "setup: installing ${need_apt[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${need_apt[@]}" >/dev/null
fi

# Wine runs the Windows tiers under code page 936; without the generated locale
# GetACP() silently stays 1252.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    echo "setup: generating the zh_CN.UTF-8 locale"
    $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
echo "setup: all build and test dependencies present"
