# The control-program test, authorizing files and the notifications, on the
# real launcher with a complete installation: the control program running
# (also under a file name in other letter case) stops the set-up and lets the
# authorize button start the manager at once; its window without its process
# and its process without its window count as not running. Authorizing with
# the control program not running sets the environment up and starts the
# manager on the installer's report; a further report shows the box again; a
# failed set-up leaves the request for the next report. Values other than 1,
# 2 and 3 do nothing. And a second launcher creates no window at all.
source "$KLV_E2E_LIB"
source "$(dirname "$KLV_E2E_LIB")/env-lib.sh"
env_setup
set_install_dir "$work/install"
put_package "$install"
start_launcher

echo "e2e: a second start creates no window"
# The watch sees the windows of a program that does create one...
watch=$(drive watch-start --close "$E2E_DIR/hello_window.exe" | tr -d '\r')
grep -q '^classes=.*KlvHelloWindow' <<<"$watch" || fail "the watch sees no windows: $watch"
# ...and none of a second launcher, which hands over and ends.
watch=$(drive watch-start "$work/stick/klv-start.exe" | tr -d '\r')
grep -qx 'created=0' <<<"$watch" || fail "a second launcher created windows: $watch"
grep -qx 'exit=0' <<<"$watch" || fail "a second launcher ended with: $watch"

echo "e2e: the control program is running"
# Started as a control program is: window and process.
wine_bg "$COMPANIONS/KLVCtrl.exe"
drive wait-window TFrm_CtrlMain 30000 || fail "the control program's window did not appear"
installs=$(starts_of KLVInst.exe)
drive click TFrm_OxMain "$ID_BTUSER"
expect_box "KLV正在运行，不需要重新开启。" information TFrm_OxMain env_control_running
close_box
[ "$(starts_of KLVInst.exe)" = "$installs" ] || fail "the installer was started beside a running control program"
# Authorizing starts the manager at once, with no box, and asks for nothing
# later: the next report shows its box.
drive click TFrm_OxMain "$ID_BTAUTH"
wait_start KLVMan.exe
expect_started_plain KLVMan.exe "$install_win"
no_box
drive post TFrm_OxMain "$WM_ENV_NOTIFY" 2
expect_box "KLV安装启动成功。" information TFrm_OxMain
close_box
[ "$(starts_of KLVMan.exe)" = 1 ] || fail "the report started the manager again"
close_all TFrm_CtrlMain

echo "e2e: a control program under its name in other letter case"
cp "$COMPANIONS/KLVCtrl.exe" "$work/klvctrl.exe"
wine_bg "$work/klvctrl.exe"
drive wait-window TFrm_CtrlMain 30000 || fail "the control program's window did not appear"
drive click TFrm_OxMain "$ID_BTUSER"
expect_box "KLV正在运行，不需要重新开启。" information TFrm_OxMain
close_box
close_all TFrm_CtrlMain

echo "e2e: the control window without its process"
cp "$COMPANIONS/KLVCtrl.exe" "$work/CtrlWindow.exe"
wine_bg "$work/CtrlWindow.exe"
drive wait-window TFrm_CtrlMain 30000 || fail "the window did not appear"
installs=$(starts_of KLVInst.exe)
drive click TFrm_OxMain "$ID_BTUSER"
# Not running: the complete installation is started, and it reports back.
expect_box "KLV安装启动成功。" information TFrm_OxMain
[ "$(starts_of KLVInst.exe)" -gt "$installs" ] || fail "the installer was not started"
close_box
close_all TFrm_CtrlMain

echo "e2e: the control process without its window"
wine_bg "$COMPANIONS/KLVCtrl.exe" --quiet
drive wait-window KlvQuietControl 30000 || fail "the quiet control program did not start"
drive wait-gone TFrm_CtrlMain 10000 || fail "a control window is left"
installs=$(starts_of KLVInst.exe)
mans=$(starts_of KLVMan.exe)
# The authorize button takes the set-up path: the installer, and on its
# report the manager instead of the box.
drive click TFrm_OxMain "$ID_BTAUTH"
wait_start KLVMan.exe $((mans + 1))
[ "$(starts_of KLVInst.exe)" -gt "$installs" ] || fail "the installer was not started"
expect_started_with_handle KLVInst.exe "$install_win"
wait_start KLVInfo.exe
no_box
close_all KlvQuietControl

echo "e2e: a further report shows the box again"
# The installer's first report started the control program: close it so
# that nothing of it is left for the next cases.
close_all TFrm_CtrlMain
drive post TFrm_OxMain "$WM_ENV_NOTIFY" 2
expect_box "KLV安装启动成功。" information TFrm_OxMain
close_box
[ "$(starts_of KLVMan.exe)" = $((mans + 1)) ] || fail "the manager was started again"

echo "e2e: values other than 1, 2 and 3 do nothing"
starts=$(wc -l <"$work/starts.txt")
for value in 0 4 5 255 0x10002; do drive post TFrm_OxMain "$WM_ENV_NOTIFY" "$value"; done
# Notifications are handled in order: when the box of this 2 shows, the
# values before it have been handled.
drive post TFrm_OxMain "$WM_ENV_NOTIFY" 2
expect_box "KLV安装启动成功。" information TFrm_OxMain
close_box
no_box
[ "$(wc -l <"$work/starts.txt")" = "$starts" ] || fail "an unknown value started a program: $(tail -n1 "$work/starts.txt")"
diff -r "$work/package" "$install" || fail "an unknown value touched the installation"

echo "e2e: a failed set-up keeps the request to authorize"
exit_launcher
set_install_dir "$work/nothing-here"
mans=$(starts_of KLVMan.exe)
start_launcher
drive click TFrm_OxMain "$ID_BTAUTH"
expect_box "下载文件失败，请检测网络或稍后再试。" warning TFrm_OxMain
close_box
expect_box "安装文件下载失败，请检测网络或稍后再试。" warning TFrm_OxMain
close_box
# A report from an installer started some other way: the manager, no box.
put_package "$install"
drive post TFrm_OxMain "$WM_ENV_NOTIFY" 2
wait_start KLVMan.exe $((mans + 1))
no_box
exit_launcher
echo "e2e: env_control passed"
