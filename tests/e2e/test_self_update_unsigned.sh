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
su_confirm_update "$LAST_BG_PID"
su_expect_new_launcher "$launcher" "$work/package/Kesto.exe"
echo "e2e: self_update_unsigned passed"
