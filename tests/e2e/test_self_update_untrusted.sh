# A newer launcher that the running launcher's publisher did not sign is never
# offered: signed with another key, unsigned, or signed with the same key and
# then altered, whether the server sends it or it lies in the temporary
# folder. It is removed, no box appears, and the stick is unchanged.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
launcher="$work/stick/klv-start.exe"
update=$(su_update_folder)

for variant in foreign unsigned altered planted; do
    echo "e2e: a next release $variant"
    temp=$(su_fresh_temp_folder)
    rm -rf "$work/package"
    su_offer_next_release "$launcher" "$work/package"
    if [ "$variant" = planted ]; then
        # Planted by any program of the user: decided without the server.
        cp "$KLV_BUILD_DIR/next-foreign/klv-start-next.exe" "$temp/Kesto.exe"
    else
        cp "$KLV_BUILD_DIR/next-$variant/klv-start-next.exe" "$work/package/Kesto.exe"
    fi
    wine_bg "$launcher"
    running=$LAST_BG_PID
    drive wait-window TFrm_OxMain 60000 || fail "the launcher's window did not appear"
    if [ "$variant" = planted ]; then
        su_wait_gone "$temp/Kesto.exe" 30 || fail "the planted launcher stays"
    else
        su_wait_log '"aFlag=KLVGetAFile | FileName=Kesto.exe"' 30 || fail "not fetched: $(cat "$SU_SERVER_LOG")"
    fi
    su_no_box_for 8 || fail "the $variant launcher was offered: $(drive box)"
    [ ! -e "$temp/Kesto.exe" ] && [ ! -e "$update/Kesto.exe" ] || fail "the $variant launcher stays"
    cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start.exe" || fail "the stick's launcher changed"
    [ "$(ls "$work/stick")" = klv-start.exe ] || fail "the stick holds more: $(ls "$work/stick")"
    drive click TFrm_OxMain 1014
    wait "$running" || fail "the launcher ended with an error"
    su_stop_server
done
echo "e2e: self_update_untrusted passed"
