# The synchronisation through the launcher's own window: its client object,
# its download bar and its warning box, against the native update server.
# (The environment action that starts it arrives later; the harness starts it.)
source "$KLV_E2E_LIB"
source "$KLV_SOURCE_DIR/tests/wine/with-update-server.sh"

work=$(mktemp -d)
trap 'stop_update_server; rm -rf "$work"' EXIT
mkdir -p "$work/package/sub" "$work/install"
head -c 300000 /dev/urandom > "$work/package/KLVInst.exe"
printf 'control' > "$work/package/sub/KLVCtrl.exe"
printf 'KLVInst.exe=1.0.0.1\r\nsub\\KLVCtrl.exe=1.0.0.1\r\n' > "$work/package/files.txt"
start_update_server "$KLV_NATIVE_TOOLS_DIR" "$work/package" || fail "server did not start"

export KLV_HARNESS_FOLDER="Z:${work//\//\\}\\install\\"
export KLV_HARNESS_SERVER="$KLV_SERVER_URL"
wine_bg "$E2E_DIR/shell_harness.exe"
drive wait-window TFrm_OxMain 30000 || fail "harness window did not appear"

drive post-registered TFrm_OxMain KlvHarnessSync 0
for _ in $(seq 300); do [ -f "$work/install/sync-result.txt" ] && break; sleep 0.1; done
[ "$(cat "$work/install/sync-result.txt" 2>/dev/null)" = true ] || fail "sync did not succeed"
cmp -s "$work/package/KLVInst.exe" "$work/install/KLVInst.exe" || fail "KLVInst.exe differs"
cmp -s "$work/package/sub/KLVCtrl.exe" "$work/install/sub/KLVCtrl.exe" || fail "sub\\KLVCtrl.exe differs"
[ ! -e "$work/install/files_o.txt" ] || fail "files_o.txt left behind"

# The download bar is hidden again and keeps its last text: the second of two
# files, complete.
bar=$(drive children TFrm_OxMain | tr -d '\r' | awk -F'\t' '$1 == 1016')
[ "$(cut -f2 <<<"$bar")" = 0 ] || fail "PBDL still visible: $bar"
[ "$(cut -f4 <<<"$bar")" = "(1/2) 100%" ] || fail "PBDL text: $bar"
screenshot shell_after_sync
rm -f "$work/install/sync-result.txt"

# The server gone: the warning box, owned by the main window, then false.
stop_update_server
drive post-registered TFrm_OxMain KlvHarnessSync 0
drive wait-window '#32770' 60000 || fail "no warning box"
box=$(drive box)
grep -q '下载文件失败，请检测网络或稍后再试。' <<<"$box" || fail "warning text: $box"
grep -q '提示' <<<"$box" || fail "warning caption: $box"
grep -q "owner_class=TFrm_OxMain" <<<"$box" || fail "warning box not owned by the main window: $box"
screenshot shell_sync_warning
drive box-ok
for _ in $(seq 300); do [ -f "$work/install/sync-result.txt" ] && break; sleep 0.1; done
[ "$(cat "$work/install/sync-result.txt" 2>/dev/null)" = false ] || fail "failed sync did not return false"
grep -q 'KLVInst.exe=1.0.0.1' "$work/install/files.txt" || fail "previous manifest not restored"

drive click TFrm_OxMain 1014
wait "$LAST_BG_PID" || fail "harness exited with an error"
echo "e2e: shell_sync passed"
