# Dragging the window by its background: the press point is kept as
# x * 10000 + y and every move shifts the window by the distance from it.
# The driver sends the mouse messages to the background (control 1002).
source "$KLV_E2E_LIB"

wine_bg "$KLV_BUILD_DIR/klv-start.exe"
launcher=$LAST_BG_PID
drive wait-window TFrm_OxMain 30000 || fail "main window did not appear"
sleep 0.5
origin() { drive describe TFrm_OxMain | tr -d '\r' | sed -n 's/^rect=\([-0-9]*\) \([-0-9]*\) .*/\1 \2/p'; }
mouse() { drive mouse TFrm_OxMain 1002 "$@"; }
expect_at() { local got; got=$(origin); [ "$got" = "$1" ] || fail "$2: window at '$got', expected '$1'"; }

expect_at "237 204" "start"
# Left button: pressed at (10, 20), moved to (110, 70): 100 right, 50 down.
mouse ldown 10 20
mouse move 110 70
expect_at "337 254" "left drag"
# Each move is measured from the press point, against the current place.
mouse move 5 25
expect_at "332 259" "second move"
mouse lup 5 25
# After the release the mouse no longer moves the window.
mouse move 200 200
expect_at "332 259" "move after release"

# The right button drags as well, also to the left and up.
mouse rdown 50 60
mouse move 20 40
mouse rup 20 40
expect_at "302 239" "right drag"

# A press at exactly (0, 0) leaves the tag at 0: no drag.
mouse ldown 0 0
mouse move 80 90
mouse lup 80 90
expect_at "302 239" "press at the origin"
# Any other point, even (0, 7), drags.
mouse ldown 0 7
mouse move 30 17
mouse lup 30 17
expect_at "332 249" "press at (0, 7)"

# A press and release without a move leaves the window where it is.
mouse ldown 100 100
mouse lup 100 100
expect_at "332 249" "click without move"
screenshot shell_dragged
drive close-window TFrm_OxMain
wait "$launcher" || fail "launcher exited with code $?"
echo "e2e: shell_drag passed"
