# Setting up the usage environment with the environment button, on the real
# launcher from a stick folder: a new machine set up from the update server
# (the default install folder, the download bar in the button's place, the
# installer, the control and information programs and the installer's
# report); a complete installation started as it is; a set-up from the
# stick's package with no server; the download failure; and an error inside
# the download, after which the button is back in its place.
source "$KLV_E2E_LIB"
source "$(dirname "$KLV_E2E_LIB")/env-lib.sh"
env_setup

echo "e2e: a new machine, set up from the update server"
use_default_install_dir
rm -rf "$install"
start_server "$work/package"
# Held at its first request, the download shows its bar where the button was.
hold_server
start_launcher
button_bounds=$(control "$ID_BTUSER" | cut -f2)
[ -n "$button_bounds" ] || fail "the environment button was not found"
drive click TFrm_OxMain "$ID_BTUSER"
wait_visible "$ID_PBDL"
expect_visible "$ID_BTUSER" 0 "during the download"
[ "$(control "$ID_PBDL" | cut -f2)" = "$button_bounds" ] ||
    fail "download bar not in the button's place ($button_bounds): $(control "$ID_PBDL")"
screenshot env_download
release_server
expect_box "KLV安装启动成功。" information TFrm_OxMain env_installer_reported
wait_start KLVCtrl.exe
wait_start KLVInfo.exe
expect_started_with_handle KLVInst.exe "$install_win"
expect_started_with_handle KLVCtrl.exe "$install_win"
expect_started_plain KLVInfo.exe "$install_win"
drive wait-window TFrm_CtrlMain 30000 || fail "the control program's window did not appear"
close_box
diff -r "$work/package" "$install" || fail "the install folder is not the server's package"
expect_visible "$ID_BTUSER" 1 "after the download"
expect_visible "$ID_PBDL" 0 "after the download"
close_all TFrm_CtrlMain
exit_launcher
stop_server

echo "e2e: a complete installation is started as it is"
# The stick holds a package too, with a file the installation lacks: the
# installation must not be copied over, nor downloaded (no server runs).
put_package "$work/stick/uInst"
printf 'only on the stick' >"$work/stick/uInst/stick-only.txt"
installs=$(starts_of KLVInst.exe)
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
expect_box "KLV安装启动成功。" information TFrm_OxMain
[ "$(starts_of KLVInst.exe)" -gt "$installs" ] || fail "the installer was not started"
[ ! -e "$install/stick-only.txt" ] || fail "the stick's package was copied over a complete installation"
# The bar's text changes with every synchronisation; it still reads its first text.
[ "$(control "$ID_PBDL" | cut -f3)" = "下载文件" ] || fail "a download ran: $(control "$ID_PBDL")"
close_box
close_all TFrm_CtrlMain
exit_launcher

echo "e2e: set up from the stick's package, no server"
set_install_dir "$work/from-stick"
installs=$(starts_of KLVInst.exe)
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
expect_box "KLV安装启动成功。" information TFrm_OxMain
expect_started_with_handle KLVInst.exe "$install_win"
diff -r "$work/stick/uInst" "$install" || fail "the install folder is not the stick's package"
[ "$(control "$ID_PBDL" | cut -f3)" = "下载文件" ] || fail "a download ran: $(control "$ID_PBDL")"
close_box
close_all TFrm_CtrlMain
exit_launcher

echo "e2e: the download fails"
set_install_dir "$work/no-network"
rm -rf "$work/stick/uInst"
installs=$(starts_of KLVInst.exe)
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
# The synchronisation's own box first, then the action's; the bar keeps the
# button's place under both.
expect_box "下载文件失败，请检测网络或稍后再试。" warning TFrm_OxMain
expect_visible "$ID_BTUSER" 0 "under the synchronisation's box"
close_box
expect_box "安装文件下载失败，请检测网络或稍后再试。" warning TFrm_OxMain env_download_failed
expect_visible "$ID_BTUSER" 0 "under the download-failure box"
expect_visible "$ID_PBDL" 1 "under the download-failure box"
close_box
expect_visible "$ID_BTUSER" 1 "after the download failure"
expect_visible "$ID_PBDL" 0 "after the download failure"
[ "$(starts_of KLVInst.exe)" = "$installs" ] || fail "the installer was started after a failed download"

echo "e2e: an error inside the download"
exit_launcher
# A folder where the package has a file: the file cannot be written, and the
# error that says so ends the action.
set_install_dir "$work/blocked"
mkdir -p "$work/blocked/KLVInfo.exe"
start_server "$work/package"
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
drive wait-window '#32770' 60000 || fail "no error report"
report=$(drive box | tr -d '\r')
screenshot env_download_error
grep -qxF 'caption=KLV_Start' <<<"$report" || fail "error report caption: $report"
grep -qxF 'icon=error' <<<"$report" || fail "error report icon: $report"
text=$(sed -n 's/^text=//p' <<<"$report")
prefix="Cannot create file \"$install_win\\KLVInfo.exe\". "
[ "${text:0:${#prefix}}" = "$prefix" ] || fail "error report reads '$text'"
# The system's reason in the users' language, not in English.
reason=${text:${#prefix}}
LC_ALL=C grep -q $'[\x80-\xff]' <<<"$reason" || fail "the system's reason is not in Chinese: '$reason'"
close_box
expect_visible "$ID_BTUSER" 1 "after an error inside the download"
expect_visible "$ID_PBDL" 0 "after an error inside the download"
[ "$(starts_of KLVInst.exe)" = "$installs" ] || fail "the installer was started after an error"
exit_launcher
echo "e2e: env_setup passed"
