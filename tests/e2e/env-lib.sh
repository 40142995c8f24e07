# Functions for the scenarios of the environment actions (test_env_*.sh),
# sourced after lib.sh. Each scenario works in a fresh folder of its own:
#   $work/stick/klv-start.exe   the launcher as it lies on the stick, with the
#   $work/stick/uInst/          stick's package folder beside it
#   $work/package/              the client package the update server serves:
#                               the stand-in companion programs and a few files
#   $work/starts.txt            one line per companion program start (see
#                               programs/companion.cpp)
# The launcher is the real klv-start.exe; its update server address is built
# in (localhost:9988), so the server runs on that port.

ENV_RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
COMPANIONS="$E2E_DIR/companions"
# The main window's controls (ControlId in src/app/main_window.h).
ID_LBBAK=1010 ID_LBUNINST=1011 ID_BTUSER=1013 ID_BTEXIT=1014 ID_BTAUTH=1015 ID_PBDL=1016 ID_PBBAK=1017
# wParam values and message number of the companions' notification.
WM_ENV_NOTIFY=0x444

# shellcheck source=/dev/null
source "$KLV_SOURCE_DIR/tests/wine/wine-env.sh"
# The registry view of the build under test: a 32-bit launcher reads the
# 32-bit view of the Run key, a 64-bit one the 64-bit view.
case "$KLV_WIN_ARCH" in
    i686) ENV_REG_VIEW=/reg:32 ;;
    *) ENV_REG_VIEW=/reg:64 ;;
esac

# Windows path of a Linux path (Wine maps / to Z:).
winpath() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }

env_setup() {
    work=$(mktemp -d)
    SERVER_PID=""
    LAUNCHER_PID=""
    trap env_teardown EXIT
    mkdir -p "$work/stick" "$work/package/plugins"
    cp "$KLV_BUILD_DIR/klv-start.exe" "$work/stick/klv-start.exe"
    local name
    for name in KLVInst KLVCtrl KLVInfo KLVMan KLVClr; do cp "$COMPANIONS/$name.exe" "$work/package/"; done
    head -c 200000 /dev/urandom >"$work/package/plugins/KLVView.dll"
    printf '%s\r\n' KLVInst.exe=1.0.12.15 KLVCtrl.exe=1.0.12.15 KLVInfo.exe=1.0.12.15 KLVMan.exe=1.0.12.15 \
        KLVClr.exe=1.0.12.15 'plugins\KLVView.dll=1.0.0.3' >"$work/package/files.txt"
    export KLV_COMPANION_LOG
    KLV_COMPANION_LOG=$(winpath "$work/starts.txt")
    # The prefix is shared with the other scenarios: no launcher fetched by
    # a self-update test may be waiting in the temporary folder.
    find "$WINEPREFIX/drive_c/users" -iname Kesto.exe -path '*[Tt]emp*' -delete 2>/dev/null || true
}

env_teardown() {
    stop_server
    if [ -n "$LAUNCHER_PID" ]; then
        drive close-window TFrm_OxMain >/dev/null 2>&1 || true
        wait "$LAUNCHER_PID" 2>/dev/null || true
    fi
    close_all TFrm_CtrlMain
    close_all KlvQuietControl
    wine_fg reg delete "$ENV_RUN_KEY" /v KLV_U /f "$ENV_REG_VIEW" >/dev/null 2>&1 || true
    rm -rf "$work"
}

# The install folder is what the Run value "KLV_U" names; without it the
# launcher takes the default folder under the common application data.
set_install_dir() {  # LINUX_FOLDER
    wine_fg reg add "$ENV_RUN_KEY" /v KLV_U /t REG_SZ /d "$(winpath "$1")\\KLVClr.exe" /f "$ENV_REG_VIEW" \
        >/dev/null || fail "cannot write the Run value"
    install=$1
    install_win=$(winpath "$1")
}
use_default_install_dir() {
    wine_fg reg delete "$ENV_RUN_KEY" /v KLV_U /f "$ENV_REG_VIEW" >/dev/null 2>&1 || true
    install="$WINEPREFIX/drive_c/ProgramData/QNKLV"
    install_win='C:\ProgramData\QNKLV'
}

# A complete package in FOLDER: the package's files and manifest.
put_package() {  # FOLDER
    mkdir -p "$1"
    cp -r "$work/package/." "$1/"
}

start_server() {  # PACKAGE_FOLDER
    local out="$work/server.out" attempt
    for attempt in $(seq 120); do
        : >"$out"
        "$KLV_NATIVE_TOOLS_DIR/klv-update-server" --port 9988 "$1" >"$out" 2>>"$work/server.log" &
        SERVER_PID=$!
        for _ in $(seq 100); do
            grep -q '^listening' "$out" && return 0
            kill -0 "$SERVER_PID" 2>/dev/null || break
            sleep 0.1
        done
        # Another test of this machine holds the port: wait for it.
        wait "$SERVER_PID" 2>/dev/null || true
        SERVER_PID=""
        [ "$attempt" = 1 ] && echo "e2e: port 9988 is busy, waiting for it" >&2
        sleep 1
    done
    fail "the update server could not listen on port 9988"
}
stop_server() {
    [ -n "${SERVER_PID:-}" ] || return 0
    kill -CONT "$SERVER_PID" 2>/dev/null || true
    kill -TERM "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    SERVER_PID=""
}
# A stopped server accepts connections (the system does) but answers nothing,
# which holds a download at its first request for as long as a test looks.
hold_server() { kill -STOP "$SERVER_PID"; }
release_server() { kill -CONT "$SERVER_PID"; }

# The launcher from the stick, started in the stick's folder.
start_launcher() {
    pushd "$work/stick" >/dev/null
    wine_bg "$work/stick/klv-start.exe"
    LAUNCHER_PID=$LAST_BG_PID
    popd >/dev/null
    drive wait-window TFrm_OxMain 60000 || fail "the launcher's window did not appear"
    MAIN_HANDLE=$(drive describe TFrm_OxMain | tr -d '\r' | sed -n 's/^handle=//p')
}
exit_launcher() {
    drive click TFrm_OxMain "$ID_BTEXIT"
    wait "$LAUNCHER_PID" || fail "the launcher exited with code $?"
    LAUNCHER_PID=""
}

close_all() {  # CLASS
    local i
    for i in $(seq 20); do
        drive close-window "$1" >/dev/null 2>&1 || return 0
        drive wait-gone "$1" 2000 >/dev/null 2>&1 || true
    done
}

# One control of the main window: "id visible left top width height text".
control() {  # ID
    drive children TFrm_OxMain | tr -d '\r' | awk -F'\t' -v id="$1" '$1 == id { print $2 "\t" $3 "\t" $4 }'
}
visible() { [ "$(control "$1" | cut -f1)" = 1 ]; }
expect_visible() {  # ID 0|1 WHY
    [ "$(control "$1" | cut -f1)" = "$2" ] || fail "$3: control $1 visible is not $2 ($(control "$1"))"
}
wait_visible() {  # ID
    for _ in $(seq 300); do visible "$1" && return 0; sleep 0.1; done
    fail "control $1 never became visible"
}

# The box on screen must read TEXT with ICON, captioned "提示", owned by a
# window of OWNER_CLASS; then OK is pressed and the box waited away.
expect_box() {  # TEXT ICON OWNER_CLASS [SCREENSHOT]
    drive wait-window '#32770' 60000 || fail "no box '$1'"
    local box
    box=$(drive box | tr -d '\r')
    grep -qxF "text=$1" <<<"$box" || fail "box reads '$(sed -n 's/^text=//p' <<<"$box")', expected '$1'"
    grep -qxF "caption=提示" <<<"$box" || fail "box '$1': caption $(grep caption <<<"$box")"
    grep -qxF "icon=$2" <<<"$box" || fail "box '$1': $(grep icon <<<"$box"), expected $2"
    grep -qxF "owner_class=$3" <<<"$box" || fail "box '$1': $(grep owner_class <<<"$box"), expected $3"
    [ -z "${4:-}" ] || screenshot "$4"
}
close_box() { drive box-ok || fail "the box did not close"; }
no_box() { [ "$(drive count '#32770' | tr -d '\r')" = 0 ] || fail "unexpected box: $(drive box)"; }

# Records of companion program starts.
starts_of() { grep -c "^$1	" "$work/starts.txt" 2>/dev/null || true; }
wait_start() {  # NAME [COUNT]
    for _ in $(seq 300); do [ "$(starts_of "$1")" -ge "${2:-1}" ] && return 0; sleep 0.1; done
    fail "$1 was not started"
}
start_record() {  # NAME: the last start's "command line<TAB>folder"
    grep "^$1	" "$work/starts.txt" | tail -n1 | tr -d '\r' | cut -f2-
}
# The start of NAME from the install folder got the main window's handle as
# its only parameter (ShellExecute), or no parameter at all (plain).
expect_started_with_handle() {  # NAME INSTALL_WIN
    local record
    record=$(start_record "$1")
    case "$(cut -f1 <<<"$record")" in
        "\"$2\\$1\" $MAIN_HANDLE" | "$2\\$1 $MAIN_HANDLE") ;;
        *) fail "$1 command line: $(cut -f1 <<<"$record"), expected $2\\$1 and handle $MAIN_HANDLE" ;;
    esac
    [ "$(cut -f2 <<<"$record")" = "$(winpath "$work/stick")" ] || fail "$1 ran in $(cut -f2 <<<"$record")"
}
expect_started_plain() {  # NAME INSTALL_WIN
    local record
    record=$(start_record "$1")
    [ "$(cut -f1 <<<"$record")" = "$2\\$1" ] || fail "$1 command line: $(cut -f1 <<<"$record")"
    [ "$(cut -f2 <<<"$record")" = "$(winpath "$work/stick")" ] || fail "$1 ran in $(cut -f2 <<<"$record")"
}
