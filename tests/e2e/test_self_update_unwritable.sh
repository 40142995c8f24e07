# The script cannot be written (a read-only QNUp.bat lies in the temporary
# folder): after the self-update box, the default error report shows why, and
# the launcher goes on running with its old file in place.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
temp=$(su_fresh_temp_folder)
trap 'chmod u+w "$temp/QNUp.bat" 2>/dev/null; su_cleanup; rm -rf "$work"' EXIT
printf 'old script\r\n' >"$temp/QNUp.bat"
chmod a-w "$temp/QNUp.bat"
launcher="$work/stick/klv-start.exe"
su_offer_next_release "$launcher" "$work/package"

wine_bg "$launcher"
running=$LAST_BG_PID
drive wait-window '#32770' 60000 || fail "no self-update box"
grep -q 'KLV已经下载了新的版本' <<<"$(drive box)" || fail "not the self-update box: $(drive box)"
drive box-ok

report=""
for _ in $(seq 300); do
    report=$(drive box 2>/dev/null || true)
    grep -q 'QNUp.bat' <<<"$report" && break
    sleep 0.1
done
grep -q 'Cannot create file "C:\\users\\.*\\Temp\\QNUp.bat"' <<<"$report" || fail "error report: $report"
grep -q 'caption=KLV_Start' <<<"$report" || fail "error report caption: $report"
screenshot self_update_unwritable
drive box-ok
[ "$(tr -d '\r' <"$temp/QNUp.bat")" = "old script" ] || fail "the read-only script was changed"
[ "$(drive count TFrm_OxMain | tr -d '\r')" = 1 ] || fail "the launcher did not go on"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start.exe" || fail "the launcher's file changed"
drive click TFrm_OxMain 1014
wait "$running" || fail "the launcher ended with an error"
echo "e2e: self_update_unwritable passed"
