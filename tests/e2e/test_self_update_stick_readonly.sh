# A stick that refuses writes (mounted read-only): the launcher fetches the
# next release but offers nothing, and keeps it. Once the stick takes writes
# again, the next start offers the kept file and the update goes through.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

[ "${KLV_E2E_ISOLATED:-}" = netns ] || { echo "e2e: needs a mount namespace of its own (root)"; exit 1; }
work=$(mktemp -d)
trap 'umount "$work/stick" 2>/dev/null || true; su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
launcher="$work/stick/klv-start.exe"
su_offer_next_release "$launcher" "$work/package"
mount --bind "$work/stick" "$work/stick"
mount -o remount,bind,ro "$work/stick"
touch "$work/stick/probe" 2>/dev/null && fail "the stick still takes writes"

wine_bg "$launcher"
running=$LAST_BG_PID
drive wait-window TFrm_OxMain 60000 || fail "the launcher's window did not appear"
su_wait_log '"aFlag=KLVGetAFile | FileName=Kesto.exe"' 30 || fail "not fetched: $(cat "$SU_SERVER_LOG")"
su_no_box_for 8 || fail "an update was offered for a stick that refuses writes: $(drive box)"
cmp -s "$temp/Kesto.exe" "$work/package/Kesto.exe" || fail "the fetched launcher was not kept"
screenshot self_update_stick_readonly
drive click TFrm_OxMain 1014
wait "$running" || fail "the launcher ended with an error"

umount "$work/stick"
wine_bg "$launcher"
su_confirm_update "$LAST_BG_PID"
[ "$(grep -c '"aFlag=KLVGetAFile' "$SU_SERVER_LOG")" = 1 ] || fail "the kept file was fetched again"
su_expect_new_launcher "$launcher" "$KLV_BUILD_DIR/klv-start-next.exe"
echo "e2e: self_update_stick_readonly passed"
