#!/usr/bin/env bash
# Exit status 0 when this machine's kernel runs 32-bit x86 Linux programs.
# Some kernels have 32-bit emulation switched off; there 32-bit Wine cannot
# start at all. The probe needs no 32-bit package: it runs a 96-byte static
# i386 program (exit(42) through int 0x80) written here byte by byte.
set -u
probe=$(mktemp "${TMPDIR:-/tmp}/klv-i386-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
# ELF header (52 bytes), one program header (32 bytes), 12 bytes of code.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00' >>"$probe"
printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe"
printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$probe"
chmod +x "$probe"
# KLV_PROBE_RUNNER (an emulator such as qemu-i386) lets the tests prove that
# the program itself is sound on a machine that cannot run it natively.
${KLV_PROBE_RUNNER:-} "$probe" 2>/dev/null
[ $? -eq 42 ]
