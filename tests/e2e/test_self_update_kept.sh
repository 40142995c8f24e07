# The new launcher cannot be put in place (the fetched file is gone by the
# time the script runs): the script gives up after its bounded wait, the old
# launcher is still on the stick, whole, and it starts again. Its worker then
# fetches the new launcher anew and offers it once more.
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
rm -f "$temp/Kesto.exe"
drive box-ok
wait "$old" || fail "the old launcher ended with an error"
started=$SECONDS

# The old launcher comes back once the script has given up, and its worker
# fetches the new launcher again: the same box.
drive wait-window TFrm_OxMain 240000 || fail "the old launcher did not start again"
echo "e2e: the script gave up after $((SECONDS - started)) s"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start.exe" || fail "the old launcher is not whole"
[ "$(su_version_line)" = "Ver:1.0.12.15" ] || fail "restarted launcher: $(su_version_line)"
su_wait_gone "$temp/QNUp.bat" 60 || fail "the script stays"
[ ! -e "$launcher.new" ] && [ ! -e "$launcher.old" ] || fail "copies left on the stick: $(ls "$stick")"
drive wait-window '#32770' 60000 || fail "the restarted launcher offers no update"
grep -q 'KLV已经下载了新的版本' <<<"$(drive box)" || fail "not the self-update box: $(drive box)"
[ "$(grep -c '"aFlag=KLVGetAFile | FileName=Kesto.exe"' "$SU_SERVER_LOG")" = 2 ] ||
    fail "the launcher was not fetched anew: $(cat "$SU_SERVER_LOG")"
screenshot self_update_kept
echo "e2e: self_update_kept passed"
