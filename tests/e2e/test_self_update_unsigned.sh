# A vendor that does not sign: the running launcher carries no signature, so
# it pins nothing, and an unsigned next release from the server is offered and
# installed as before.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap 'su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
launcher="$work/stick/klv-start.exe"
su_offer_next_release "$launcher" "$work/package"
osslsigncode remove-signature -in "$KLV_BUILD_DIR/klv-start.exe" -out "$launcher.unsigned" >/dev/null
mv "$launcher.unsigned" "$launcher"
cp "$KLV_BUILD_DIR/next-unsigned/klv-start-next.exe" "$work/package/Kesto.exe"
osslsigncode verify -in "$launcher" >/dev/null 2>&1 && fail "the launcher is still signed"

wine_bg "$launcher"
old=$LAST_BG_PID
drive wait-window '#32770' 60000 || fail "no self-update box"
grep -q 'KLV已经下载了新的版本' <<<"$(drive box)" || fail "not the self-update box: $(drive box)"
drive box-ok
wait "$old" || fail "the old launcher ended with an error"
drive wait-window TFrm_OxMain 180000 || fail "no launcher came back"
[ "$(su_version_line)" = "Ver:1.0.13.0" ] || fail "restarted launcher: $(su_version_line)"
cmp -s "$launcher" "$work/package/Kesto.exe" || fail "the stick holds no new launcher"
drive click TFrm_OxMain 1014
drive wait-gone TFrm_OxMain 30000 || fail "the new launcher did not close"
echo "e2e: self_update_unsigned passed"
