# The launcher replaces itself: the real launcher at 1.0.12.15 in a stick
# folder (blanks in the folder and in the file name), our server offering the
# next release. The box, the exit, the replacement by the hidden script, the
# new launcher started from the stick; the fetched file and the script gone.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
stick="$work/U disk"
launcher="$stick/KLV Start.exe"
su_offer_next_release "$launcher" "$work/package"

wine_bg "$launcher"
old=$LAST_BG_PID
drive wait-window '#32770' 60000 || fail "no self-update box"
box=$(drive box)
grep -q 'KLV已经下载了新的版本，点击确定后将自动更新到最新版本（程序将重启）。' <<<"$box" || fail "box text: $box"
grep -q '提示' <<<"$box" || fail "box caption: $box"
grep -q 'owner_class=TFrm_OxMain' <<<"$box" || fail "box not owned by the main window: $box"
[ "$(su_version_line)" = "Ver:1.0.12.15" ] || fail "running launcher: $(su_version_line)"
su_wait_log '"aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=1.0.12.15"' 10 || fail "no check: $(cat "$SU_SERVER_LOG")"
cmp -s "$temp/Kesto.exe" "$work/package/Kesto.exe" || fail "the fetched launcher is not the server's"
screenshot self_update_box

drive box-ok
wait "$old" || fail "the old launcher ended with an error"
drive wait-window TFrm_OxMain 180000 || fail "no launcher came back"
su_wait_gone "$temp/QNUp.bat" 60 || fail "the script stays"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start-next.exe" || fail "the stick holds no new launcher"
[ "$(su_version_line)" = "Ver:1.0.13.0" ] || fail "restarted launcher: $(su_version_line)"
[ ! -e "$temp/Kesto.exe" ] || fail "the fetched file stays"
[ ! -e "$launcher.new" ] && [ ! -e "$launcher.old" ] || fail "copies left on the stick: $(ls "$stick")"
# The new launcher found no fetched file and asked the server for itself.
su_wait_log '"aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=1.0.13.0"' 30 || fail "the new launcher did not ask: $(cat "$SU_SERVER_LOG")"
screenshot self_update_restarted

drive click TFrm_OxMain 1014
drive wait-gone TFrm_OxMain 30000 || fail "the new launcher did not close"
echo "e2e: self_update passed"
