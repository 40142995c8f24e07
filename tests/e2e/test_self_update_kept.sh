# The new launcher cannot be put in place (the checked file is gone by the
# time the script runs): the script gives up after its bounded wait, the old
# launcher is still on the stick, whole, and it starts again. That run makes
# no offer (no endless box); the next start offers the update once more.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
stick="$work/stick"
launcher="$stick/klv-start.exe"
su_offer_next_release "$launcher" "$work/package"

wine_bg "$launcher"
old=$LAST_BG_PID
drive wait-window '#32770' 60000 || fail "no self-update box"
grep -q 'KLV已经下载了新的版本' <<<"$(drive box)" || fail "not the self-update box: $(drive box)"
update=$(su_update_folder)
rm -f "$update/Kesto.exe"
drive box-ok
wait "$old" || fail "the old launcher ended with an error"
started=$SECONDS

# The old launcher comes back once the script has given up.
drive wait-window TFrm_OxMain 240000 || fail "the old launcher did not start again"
echo "e2e: the script gave up after $((SECONDS - started)) s"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start.exe" || fail "the old launcher is not whole"
[ "$(su_version_line)" = "Ver:1.0.12.15" ] || fail "restarted launcher: $(su_version_line)"
su_wait_gone "$update/QNUp.bat" 60 || fail "the script stays"
[ ! -e "$launcher.new" ] || fail "a copy left on the stick: $(ls "$stick")"
# Its worker fetches the new launcher again but keeps it for the next run.
su_wait_log '"aFlag=KLVGetAFile | FileName=Kesto.exe"' 30 || fail "no fetch"
for _ in $(seq 300); do
    [ "$(grep -c '"aFlag=KLVGetAFile | FileName=Kesto.exe"' "$SU_SERVER_LOG")" = 2 ] && break
    sleep 0.1
done
su_no_box_for 10 || fail "the update was offered again at once: $(drive box)"
[ -e "$temp/Kesto.exe" ] || fail "the fetched launcher was not kept for the next run"
screenshot self_update_kept
drive click TFrm_OxMain 1014
drive wait-gone TFrm_OxMain 30000 || fail "the launcher did not close"

# The next start offers it, without asking the server.
wine_bg "$launcher"
drive wait-window '#32770' 60000 || fail "the next start offers no update"
grep -q 'KLV已经下载了新的版本' <<<"$(drive box)" || fail "not the self-update box: $(drive box)"
[ "$(grep -c '"aFlag=KLVGetAFile | FileName=Kesto.exe"' "$SU_SERVER_LOG")" = 2 ] ||
    fail "the kept launcher was fetched again: $(cat "$SU_SERVER_LOG")"
echo "e2e: self_update_kept passed"
