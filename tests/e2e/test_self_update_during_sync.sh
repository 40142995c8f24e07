# The worker runs while a package synchronisation downloads through the
# window: both fetch from the same server, the worker with client objects of
# its own, the synchronisation through the window's. The synchronisation still
# completes, the self-update box comes (during the synchronisation or after
# it), the window stays until the synchronisation has returned, and the
# launcher is replaced and started from the stick. The window
# code runs in the test harness, copied onto the stick so that its
# replacement touches nothing of the build.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
stick="$work/stick"
launcher="$stick/shell_harness.exe"
mkdir -p "$stick" "$work/package/sub" "$work/install"
cp "$E2E_DIR/shell_harness.exe" "$launcher"
# Large downloads on both sides, so that they overlap: the next launcher with
# data after its last section (as a signature would be), and a large installer.
{ cat "$KLV_BUILD_DIR/klv-start-next.exe"; head -c 40000000 /dev/urandom; } >"$work/package/Kesto.exe"
head -c 30000000 /dev/urandom >"$work/package/KLVInst.exe"
printf 'control' >"$work/package/sub/KLVCtrl.exe"
printf 'KLVInst.exe=1.0.0.1\r\nsub\\KLVCtrl.exe=1.0.0.1\r\nKesto.exe=1.0.13.0\r\n' >"$work/package/files.txt"
su_start_server "$work/package"

export KLV_HARNESS_FOLDER="Z:${work//\//\\}\\install\\"
# The address built into the launcher: the worker uses it at the same time.
export KLV_HARNESS_SERVER="http://localhost:9988/"
wine_bg "$launcher"
old=$LAST_BG_PID
drive wait-window TFrm_OxMain 60000 || fail "harness window did not appear"
drive post-registered TFrm_OxMain KlvHarnessSync 0

drive wait-window '#32770' 180000 || fail "no box"
box=$(drive box)
grep -q 'KLV已经下载了新的版本，点击确定后将自动更新到最新版本（程序将重启）。' <<<"$box" || fail "not the self-update box: $box"
grep -q 'owner_class=TFrm_OxMain' <<<"$box" || fail "box not owned by the main window: $box"
if [ -e "$work/install/sync-result.txt" ]; then
    echo "e2e: the worker finished after the synchronisation"
else
    echo "e2e: the self-update box came while the synchronisation ran"
fi
screenshot self_update_during_sync
drive box-ok

for _ in $(seq 1200); do [ -f "$work/install/sync-result.txt" ] && break; sleep 0.1; done
[ "$(cat "$work/install/sync-result.txt" 2>/dev/null)" = true ] || fail "sync did not succeed"
# The close that the box announces waits for the synchronisation to return.
[ "$(cat "$work/install/sync-window.txt")" = there ] || fail "the window went while its synchronisation ran"
cmp -s "$work/package/KLVInst.exe" "$work/install/KLVInst.exe" || fail "KLVInst.exe differs"
cmp -s "$work/package/sub/KLVCtrl.exe" "$work/install/sub/KLVCtrl.exe" || fail "sub\\KLVCtrl.exe differs"
wait "$old" || fail "the harness ended with an error"

drive wait-window TFrm_OxMain 180000 || fail "no launcher came back"
su_wait_gone "$(su_update_folder)/QNUp.bat" 90 || fail "the script stays"
cmp -s "$launcher" "$work/package/Kesto.exe" || fail "the stick holds no new launcher"
[ "$(su_version_line)" = "Ver:1.0.13.0" ] || fail "restarted launcher: $(su_version_line)"
[ ! -e "$temp/Kesto.exe" ] || fail "the fetched file stays"
grep -q '"aFlag=KLVGetAFile | FileName=KLVInst.exe"' "$SU_SERVER_LOG" || fail "no package download: $(cat "$SU_SERVER_LOG")"
drive click TFrm_OxMain 1014
drive wait-gone TFrm_OxMain 30000 || fail "the new launcher did not close"
echo "e2e: self_update_during_sync passed"
