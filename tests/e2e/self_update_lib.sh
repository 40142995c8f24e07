# Functions for the self-update scenarios (test_self_update*.sh); sourced
# after lib.sh.
#
# The launcher asks the update server at the address built into it,
# localhost:9988, so the scenarios' server must listen there. e2e-session.sh
# gives each scenario a network namespace of its own (or, where none can be
# made, a turn of its own), so no other server answers its launcher.

# The prefix's temporary folder (the launcher's TempFolderPath), Linux side.
su_temp_folder() {
    local folder="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
    mkdir -p "$folder"
    echo "$folder"
}

# The temporary folder with nothing an earlier run left in it (a fetched
# launcher, the update folder with its script and record), so that the
# worker decides afresh.
su_fresh_temp_folder() {
    local folder
    folder=$(su_temp_folder)
    rm -rf "$folder/Kesto.exe" "$folder/KLVUpdate"
    echo "$folder"
}

# The update folder below the temporary folder: the checked new launcher,
# the script, the old launcher's copy, the marker and the record.
su_update_folder() {
    echo "$(su_temp_folder)/KLVUpdate"
}

# Waits (hang guard: SECONDS) until the launcher's log shows no box: true
# when none of class #32770 appeared in that time.
su_no_box_for() {
    ! drive wait-window '#32770' "$(($1 * 1000))" >/dev/null 2>&1
}

# The running release at LAUNCHER on a stick folder, and our server over
# PACKAGE_DIR offering the next release as Kesto.exe 1.0.13.0.
su_offer_next_release() {  # LAUNCHER PACKAGE_DIR
    mkdir -p "$(dirname "$1")" "$2"
    cp "$KLV_BUILD_DIR/klv-start.exe" "$1"
    cp "$KLV_BUILD_DIR/klv-start-next.exe" "$2/Kesto.exe"
    printf 'Kesto.exe=1.0.13.0\r\n' >"$2/files.txt"
    su_start_server "$2"
}

# Starts klv-update-server on localhost:9988 over PACKAGE_DIR; sets
# SU_SERVER_PID and SU_SERVER_LOG (removed with the server by su_stop_server).
su_start_server() {
    SU_SERVER_DIR=$(mktemp -d)
    local out=$SU_SERVER_DIR/stdout
    SU_SERVER_LOG=$SU_SERVER_DIR/server.log
    "$KLV_NATIVE_TOOLS_DIR/klv-update-server" --port 9988 "$1" >"$out" 2>"$SU_SERVER_LOG" &
    SU_SERVER_PID=$!
    for _ in $(seq 300); do  # hang guard, 30 s
        grep -q '^listening on ' "$out" 2>/dev/null && return 0
        kill -0 "$SU_SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$out" "$SU_SERVER_LOG" >&2
    fail "the update server did not start on port 9988"
}

su_stop_server() {
    [ -n "${SU_SERVER_PID:-}" ] || return 0
    kill -TERM "$SU_SERVER_PID" 2>/dev/null || true
    wait "$SU_SERVER_PID" 2>/dev/null || true
    SU_SERVER_PID=""
    rm -rf "$SU_SERVER_DIR"
}

# Waits (hang guard: SECONDS) until the server's log holds TEXT.
su_wait_log() {
    for _ in $(seq $(($2 * 10))); do
        grep -qF -- "$1" "$SU_SERVER_LOG" && return 0
        sleep 0.1
    done
    return 1
}

# Waits (hang guard: SECONDS) until FILE is gone.
su_wait_gone() {
    for _ in $(seq $(($2 * 10))); do
        [ ! -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The text of the main window's version line.
su_version_line() {
    drive children TFrm_OxMain | tr -d '\r' | awk -F'\t' '$1 == 1012 { print $4 }'
}

# Ends every program of the prefix (the hidden script included) and removes
# what a self-update leaves in the temporary folder, so that no later
# scenario of this prefix finds a fetched launcher and replaces itself.
su_cleanup() {
    "$KLV_WINE_RUN" "$WINEPREFIX" --kill || true
    su_stop_server
    local temp
    temp=$(su_temp_folder)
    rm -rf "$temp/Kesto.exe" "$temp/KLVUpdate" "$temp"/*.klv-partial
}

# Waits for the self-update box over the running launcher OLD_PID, confirms
# it, and waits until that launcher has ended.
su_confirm_update() {  # OLD_PID
    drive wait-window '#32770' 60000 || fail "no self-update box"
    grep -q 'KLV已经下载了新的版本' <<<"$(drive box)" || fail "not the self-update box: $(drive box)"
    drive box-ok
    wait "$1" || fail "the old launcher ended with an error"
}

# Waits for the new launcher started from the stick (1.0.13.0, LAUNCHER now
# holding NEW_FILE's bytes) and closes it.
su_expect_new_launcher() {  # LAUNCHER NEW_FILE
    drive wait-window TFrm_OxMain 180000 || fail "no launcher came back"
    [ "$(su_version_line)" = "Ver:1.0.13.0" ] || fail "restarted launcher: $(su_version_line)"
    cmp -s "$1" "$2" || fail "the stick holds no new launcher"
    drive click TFrm_OxMain 1014
    drive wait-gone TFrm_OxMain 30000 || fail "the new launcher did not close"
}
