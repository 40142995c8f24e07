# One launcher per session: a second start shows no window, exits with code 0
# and brings the running launcher to the front, or the box it shows; once the
# first has exited, a new start is a first instance again.
source "$KLV_E2E_LIB"
LAUNCHER="$KLV_BUILD_DIR/klv-start.exe"

expect_foreground() {
    local got
    got=$(drive foreground | tr -d '\r' | sed -n 's/^class=//p')
    [ "$got" = "$1" ] || fail "foreground window is '$got', expected '$1' ($2)"
}

# Another program takes the foreground; a second launcher hands it back.
wine_bg "$LAUNCHER"
first=$LAST_BG_PID
drive wait-window TFrm_OxMain 30000 || fail "main window did not appear"
wine_bg "$E2E_DIR/hello_window.exe"
drive wait-window KlvHelloWindow 30000 || fail "hello window did not appear"
sleep 0.5
expect_foreground KlvHelloWindow "before the second start"
wine_fg "$LAUNCHER" || fail "second launcher exited with code $?"
drive count TFrm_OxMain | tr -d '\r' | grep -qx 1 || fail "a second main window appeared"
drive count KlvApplication | tr -d '\r' | grep -qx 1 || fail "a second application window is left"
expect_foreground TFrm_OxMain "after the second start"
screenshot shell_second_start

# Minimised through its taskbar entry, the main window is hidden; a second
# start restores it through its owner, the application window.
drive post KlvApplication 0x112 0xF020
sleep 1
drive describe TFrm_OxMain | tr -d '\r' | grep -qx 'visible=0' || fail "minimising did not hide the main window"
wine_fg "$LAUNCHER" || fail "second launcher exited with code $?"
sleep 1
drive describe TFrm_OxMain | tr -d '\r' | grep -qx 'visible=1' || fail "second start did not restore the window"

drive close-window TFrm_OxMain
wait "$first" || fail "first launcher exited with code $?"

# While the running launcher shows a box, the box comes to the front.
wine_bg "$E2E_DIR/shell_harness.exe"
harness=$LAST_BG_PID
drive wait-window TFrm_OxMain 30000 || fail "harness window did not appear"
drive post-registered TFrm_OxMain KlvHarnessBox 0
drive wait-window '#32770' 10000 || fail "no box"
drive close-window KlvHelloWindow
wine_bg "$E2E_DIR/hello_window.exe"
drive wait-window KlvHelloWindow 30000 || fail "hello window did not appear"
sleep 0.5
expect_foreground KlvHelloWindow "before the start beside the box"
wine_fg "$LAUNCHER" || fail "second launcher exited with code $?"
expect_foreground '#32770' "after the start beside the box"
screenshot shell_second_start_box
drive box-ok
drive close-window TFrm_OxMain
wait "$harness" || fail "harness exited with code $?"

# The first has gone: the next start is a first instance with a window.
wine_bg "$LAUNCHER"
again=$LAST_BG_PID
drive wait-window TFrm_OxMain 30000 || fail "no window after the first launcher exited"
drive click TFrm_OxMain 1014
wait "$again" || fail "launcher exited with code $?"
drive close-window KlvHelloWindow
echo "e2e: shell_single_instance passed"
