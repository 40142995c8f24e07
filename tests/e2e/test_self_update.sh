# The launcher replaces itself: the real launcher at 1.0.12.15, signed with
# the build's key, in a stick folder (blanks in the folder and in the file
# name), our server offering the next release signed with the same key. The
# box, the exit, the replacement by the hidden script, the new launcher
# started from the stick and kept once its window showed; the fetched file,
# the script and the old launcher's copy gone. A ping.bat and a ping.cmd
# beside the launcher never run.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
stick="$work/U disk"
launcher="$stick/KLV Start.exe"
su_offer_next_release "$launcher" "$work/package"
update=$(su_update_folder)
for planted in ping.bat ping.cmd; do
    printf '@echo planted >"%s"\r\n' "Z:${work//\//\\}\\planted-$planted.txt" >"$stick/$planted"
done

wine_bg "$launcher"
old=$LAST_BG_PID
drive wait-window '#32770' 60000 || fail "no self-update box"
box=$(drive box)
grep -q 'KLV已经下载了新的版本，点击确定后将自动更新到最新版本（程序将重启）。' <<<"$box" || fail "box text: $box"
grep -q '提示' <<<"$box" || fail "box caption: $box"
grep -q 'owner_class=TFrm_OxMain' <<<"$box" || fail "box not owned by the main window: $box"
[ "$(su_version_line)" = "Ver:1.0.12.15" ] || fail "running launcher: $(su_version_line)"
su_wait_log '"aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=1.0.12.15"' 10 || fail "no check: $(cat "$SU_SERVER_LOG")"
cmp -s "$update/Kesto.exe" "$work/package/Kesto.exe" || fail "the checked launcher is not the server's"
[ ! -e "$temp/Kesto.exe" ] || fail "the fetched file stays in the temporary folder"
screenshot self_update_box

drive box-ok
wait "$old" || fail "the old launcher ended with an error"
drive wait-window TFrm_OxMain 180000 || fail "no launcher came back"
su_wait_gone "$update/QNUp.bat" 90 || fail "the script stays"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start-next.exe" || fail "the stick holds no new launcher"
[ "$(su_version_line)" = "Ver:1.0.13.0" ] || fail "restarted launcher: $(su_version_line)"
[ ! -e "$update/Kesto.exe" ] && [ ! -e "$update/previous.exe" ] && [ ! -e "$update/QNUp.pending" ] ||
    fail "the update folder keeps: $(ls "$update")"
[ ! -e "$update/QNUp.record" ] || fail "a record after a good update: $(cat "$update/QNUp.record")"
ls "$work"/planted-* 2>/dev/null && fail "a program planted beside the launcher ran"
[ ! -e "$launcher.new" ] && [ ! -e "$launcher.old" ] || fail "copies left on the stick: $(ls "$stick")"
# The new launcher found no fetched file and asked the server for itself.
su_wait_log '"aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=1.0.13.0"' 30 || fail "the new launcher did not ask: $(cat "$SU_SERVER_LOG")"
screenshot self_update_restarted

drive click TFrm_OxMain 1014
drive wait-gone TFrm_OxMain 30000 || fail "the new launcher did not close"
echo "e2e: self_update passed"
