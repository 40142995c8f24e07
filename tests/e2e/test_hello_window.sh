# Proves the tier: a Windows GUI program under Wine on Xvfb draws a window with
# a Chinese text, the driver finds it by class and closes it, and a screenshot
# is kept.
source "$KLV_E2E_LIB"

wine_bg "$E2E_DIR/hello_window.exe"
drive wait-window KlvHelloWindow 30000 || fail "hello window did not appear"
drive expect-text KlvHelloWindow "你好，KLV" || fail "wrong window text"
sleep 0.5
screenshot hello_window
expect_drawn hello_window
drive close-window KlvHelloWindow
wait "$LAST_BG_PID" || fail "hello window exited with an error"
echo "e2e: hello_window passed"
