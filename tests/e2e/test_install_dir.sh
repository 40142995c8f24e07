# The install folder, resolved while the launcher's window is created (through
# the launcher's own window code; the harness writes InstallDir as creation
# left it): the default folder without a Run value, the Run value's folder
# part with one, and a Run value of the wrong type, whose registry error is
# reported while the window still opens, its version line untouched.
source "$KLV_E2E_LIB"
# shellcheck source=/dev/null
source "$KLV_SOURCE_DIR/tests/wine/wine-env.sh"

RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# The registry view of the build under test: a 32-bit launcher reads the
# 32-bit view of the Run key, a 64-bit one the 64-bit view.
case "$KLV_WIN_ARCH" in
    i686) REG_VIEW=/reg:32 ;;
    *) REG_VIEW=/reg:64 ;;
esac
ID_LBUNINST=1011 ID_LBVER=1012 ID_BTUSER=1013 ID_BTEXIT=1014

work=$(mktemp -d)
cleanup() {
    wine_fg reg delete "$RUN_KEY" /v KLV_U /f "$REG_VIEW" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
winpath() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }
export KLV_HARNESS_INSTALL_DIR_FILE
KLV_HARNESS_INSTALL_DIR_FILE=$(winpath "$work/install-dir.txt")

run_value() {
    wine_fg reg delete "$RUN_KEY" /v KLV_U /f "$REG_VIEW" >/dev/null 2>&1 || true
    [ $# -eq 0 ] || wine_fg reg add "$RUN_KEY" /v KLV_U /t "$1" /d "$2" /f "$REG_VIEW" >/dev/null ||
        fail "could not write the Run value"
}

start_harness() {
    rm -f "$work/install-dir.txt"
    wine_bg "$E2E_DIR/shell_harness.exe"
    harness=$LAST_BG_PID
}

# InstallDir as the creation resolved it; the file appears once the window exists.
install_dir() {
    for _ in $(seq 300); do [ -f "$work/install-dir.txt" ] && break; sleep 0.1; done
    [ -f "$work/install-dir.txt" ] || fail "the harness wrote no InstallDir"
    iconv -f GBK -t UTF-8 "$work/install-dir.txt"
}

version_line() { drive children TFrm_OxMain | tr -d '\r' | awk -F'\t' -v id="$ID_LBVER" '$1 == id' | cut -f4; }

exit_harness() {
    drive click TFrm_OxMain "$ID_BTEXIT"
    wait "$harness" || fail "harness exited with code $?"
}

expect_window_with_version() {
    drive wait-window TFrm_OxMain 30000 || fail "$1: no window"
    drive describe TFrm_OxMain | tr -d '\r' | grep -qx 'visible=1' || sleep 1
    drive describe TFrm_OxMain | tr -d '\r' | grep -qx 'visible=1' || fail "$1: window not shown"
    [ "$(version_line)" = "$2" ] || fail "$1: version line '$(version_line)', expected '$2'"
}

echo "e2e: no Run value: the default folder, which the creation does not make"
run_value
rm -rf "$WINEPREFIX/drive_c/ProgramData/QNKLV"
start_harness
expect_window_with_version "no Run value" "Ver:1.0.12.15"
[ "$(install_dir)" = 'C:\ProgramData\QNKLV\' ] || fail "default InstallDir is '$(install_dir)'"
[ ! -e "$WINEPREFIX/drive_c/ProgramData/QNKLV" ] || fail "resolving InstallDir created the default folder"
exit_harness

# type | value | InstallDir (each row: the fault it catches)
cases=(
    # the folder part with its trailing backslash, no default
    'REG_SZ|D:\Apps\Tool\run.exe|D:\Apps\Tool\'
    # read as stored, not expanded
    'REG_EXPAND_SZ|%ProgramFiles%\X\run.exe|%ProgramFiles%\X\'
    # a code page 936 folder name survives the registry and the cut
    'REG_SZ|C:\你好\run.exe|C:\你好\'
    # a bare name: the default folder after all
    'REG_SZ|run.exe|C:\ProgramData\QNKLV\'
)
for row in "${cases[@]}"; do
    IFS='|' read -r type value want <<<"$row"
    echo "e2e: Run value $type $value"
    run_value "$type" "$value"
    start_harness
    expect_window_with_version "$value" "Ver:1.0.12.15"
    [ "$(install_dir)" = "$want" ] || fail "Run value $value: InstallDir '$(install_dir)', expected '$want'"
    exit_harness
done

echo "e2e: a REG_DWORD Run value: the registry error, and the window opens all the same"
run_value REG_DWORD 1
start_harness
drive wait-window '#32770' 30000 || fail "no error report"
sleep 0.3
screenshot install_dir_registry_error
box=$(drive box | tr -d '\r')
grep -qxF "text=Invalid data type for 'KLV_U'" <<<"$box" || fail "report reads: $box"
grep -qx 'caption=KLV_Start' <<<"$box" || fail "report caption: $box"
drive box-ok
drive wait-gone '#32770' 10000 || fail "report did not close"
# The creation stopped before the version line: it still reads as designed,
# and InstallDir stayed empty.
expect_window_with_version "REG_DWORD" "1.0.12.15"
[ -z "$(install_dir)" ] || fail "InstallDir after the registry error: '$(install_dir)'"
screenshot install_dir_after_error

# With no install folder known, the actions that work in it report the same
# error and stop: no set-up (no server runs here, so a set-up that went on
# would show the download boxes instead), no uninstall of the current folder.
echo "e2e: without an install folder, the set-up and the uninstall report the registry error"
for id in "$ID_BTUSER" "$ID_LBUNINST"; do
    drive click TFrm_OxMain "$id"
    drive wait-window '#32770' 30000 || fail "control $id: no box"
    box=$(drive box | tr -d '\r')
    grep -qxF "text=Invalid data type for 'KLV_U'" <<<"$box" || fail "control $id: the box reads $box"
    grep -qx 'caption=KLV_Start' <<<"$box" || fail "control $id: box caption: $box"
    drive box-ok
    drive wait-gone '#32770' 10000 || fail "control $id: the report did not close"
done
exit_harness
echo "e2e: install_dir passed"
