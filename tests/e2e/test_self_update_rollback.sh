# The next release does not come up (it exits at once without a window): the
# replacement puts the old launcher back, byte for byte, and starts it; that
# release is refused, so neither this run nor the next offers it again.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
update=$(su_update_folder)
launcher="$work/U disk/KLV Start.exe"
su_offer_next_release "$launcher" "$work/package"
cp "$KLV_BUILD_DIR/tests/e2e/exits_at_once.exe" "$work/package/Kesto.exe"

wine_bg "$launcher"
su_confirm_update "$LAST_BG_PID"
started=$SECONDS
# The old one comes back once the new one has had its time.
drive wait-window TFrm_OxMain 120000 || fail "no launcher came back"
echo "e2e: the old launcher was back after $((SECONDS - started)) s"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start.exe" || fail "the old launcher is not back byte for byte"
[ "$(su_version_line)" = "Ver:1.0.12.15" ] || fail "restarted launcher: $(su_version_line)"
su_wait_gone "$update/QNUp.bat" 60 || fail "the script stays"
[ "$(tr -d '\r' <"$update/QNUp.record")" = "refused 1.0.13.0" ] || fail "record: $(cat "$update/QNUp.record")"
# Asked for what comes after the refused release: the server has nothing.
su_wait_log '"aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=1.0.13.0"' 30 || fail "no check: $(cat "$SU_SERVER_LOG")"
su_no_box_for 5 || fail "the refused release was offered again: $(drive box)"
[ "$(ls "$work/U disk")" = "KLV Start.exe" ] || fail "the stick holds more: $(ls "$work/U disk")"
screenshot self_update_rolled_back
drive click TFrm_OxMain 1014
drive wait-gone TFrm_OxMain 30000 || fail "the launcher did not close"

# The next start does not offer it either.
wine_bg "$launcher"
next=$LAST_BG_PID
drive wait-window TFrm_OxMain 60000 || fail "the launcher's window did not appear"
su_wait_log '"aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=1.0.13.0"' 30 || fail "no check"
su_no_box_for 5 || fail "the refused release was offered at the next start: $(drive box)"
drive click TFrm_OxMain 1014
wait "$next" || fail "the launcher ended with an error"
echo "e2e: self_update_rollback passed"
