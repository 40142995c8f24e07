# A launcher closed while its worker still waits for the server ends at once:
# nothing waits for the worker. The server is stopped (SIGSTOP) after it has
# started, so connections are accepted but never answered: the worker cannot
# end before its transport gives up, long after the exit button.
source "$KLV_E2E_LIB"
source "$(dirname "$0")/self_update_lib.sh"

work=$(mktemp -d)
trap '[ -z "${SU_SERVER_PID:-}" ] || kill -CONT "$SU_SERVER_PID" 2>/dev/null; su_cleanup; rm -rf "$work"' EXIT
temp=$(su_fresh_temp_folder)
launcher="$work/stick/klv-start.exe"
su_offer_next_release "$launcher" "$work/package"
kill -STOP "$SU_SERVER_PID"

wine_bg "$launcher"
running=$LAST_BG_PID
drive wait-window TFrm_OxMain 60000 || fail "no launcher window"
drive click TFrm_OxMain 1014
# Hang guard: a launcher that waited for its worker would never end, since
# the worker's completion needs the GUI thread that would be waiting for it.
for _ in $(seq 600); do kill -0 "$running" 2>/dev/null || break; sleep 0.1; done
kill -0 "$running" 2>/dev/null && fail "the launcher did not end while its worker waited"
wait "$running" || fail "the launcher ended with an error"
[ ! -e "$temp/Kesto.exe" ] && [ ! -e "$(su_update_folder)/QNUp.bat" ] || fail "a self-update happened: $(ls "$temp")"
cmp -s "$launcher" "$KLV_BUILD_DIR/klv-start.exe" || fail "the launcher's file changed"
echo "e2e: self_update_closed_early passed"
