#!/usr/bin/env bash
# The launcher as it ships, checked by reading the file alone (no Wine): the
# product is a 32-bit GUI program that runs from a stick on any Windows, so it
# imports nothing but the system's own DLLs, asks for administrator rights,
# carries the release's version stamp and stays small.
#   check_shipped_launcher.sh KLV_PE_INFO LAUNCHER_EXE
set -euo pipefail
pe_info=$1 launcher=$2
fail() { echo "shipped launcher: FAIL: $*" >&2; exit 1; }

[ -x "$pe_info" ] || fail "no klv-pe-info at '$pe_info' (configure with -DKLV_NATIVE_TOOLS_DIR=<native build>/tools)"
[ -f "$launcher" ] || fail "no launcher at '$launcher'"
facts=$("$pe_info" "$launcher") || fail "$launcher is not a Windows image"
echo "$facts" | grep -v '^manifest=' | sed 's/^/  /'

fact() { sed -n "s/^$1=//p" <<<"$facts"; }
[ "$(fact machine)" = i386 ] || fail "machine is $(fact machine), not i386"
[ "$(fact subsystem)" = gui ] || fail "subsystem is $(fact subsystem), not gui"
[ "$(fact kind)" = exe ] || fail "not an executable: $(fact kind)"
[ "$(fact sections)" = complete ] || fail "sections do not fit in the file"
[ "$(fact file-version)" = 1.0.12.15 ] || fail "file version is '$(fact file-version)', not 1.0.12.15"

# DLLs that every Windows since XP has in its system folder. A runtime DLL of
# the compiler (libgcc, libstdc++, libwinpthread, zlib1) would have to lie
# beside the launcher on the stick.
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ws2_32.dll version.dll comctl32.dll
 wintrust.dll crypt32.dll
 msvcrt.dll ole32.dll oleaut32.dll shlwapi.dll comdlg32.dll imm32.dll winmm.dll msimg32.dll ntdll.dll "
imports=$(fact import)
[ -n "$imports" ] || fail "no imports read"
while read -r dll; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    [[ "$system_dlls" == *" $lower "* ]] || fail "imports $dll, which is no system DLL"
done <<<"$imports"

manifest=$(fact manifest)
[ -n "$manifest" ] || fail "no application manifest"
grep -Eq "<requestedExecutionLevel[^>]*level=[\"']requireAdministrator[\"']" <<<"$manifest" ||
    fail "the manifest does not ask for administrator rights: $manifest"

size=$(fact size)
[ "$size" -le 1048576 ] || fail "$size bytes, more than 1 MiB"
echo "shipped launcher: $launcher passed"
