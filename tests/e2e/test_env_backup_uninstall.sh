# Backing the installer up onto the stick and uninstalling, on the real
# launcher: the back-up copied from a complete installation, its failure (one
# box for the file, owned by the application window, then the action's), the
# back-up downloaded from the server (the bar in the link's place, the warning
# icon on success) and its failure; a set-up whose copy from the stick fails;
# uninstalling through the cleaner (its report's box first, the folder
# deleted a second after that box has closed) and without one (the folder
# deleted, the box owned by the application window).
source "$KLV_E2E_LIB"
source "$(dirname "$KLV_E2E_LIB")/env-lib.sh"
env_setup

# A box owned by the application window leaves the main window disabled
# while it is open, so that no second action starts inside the first.
expect_main_enabled() {  # 0|1 WHY
    drive describe TFrm_OxMain | tr -d '\r' | grep -qx "enabled=$1" || fail "main window enabled is not $1: $2"
}
expect_copy_failure_box() {
    drive wait-window '#32770' 60000 || fail "no copy-failure box"
    local box
    box=$(drive box | tr -d '\r')
    grep -qx 'text=拷贝文件.*失败。' <<<"$box" || fail "copy-failure box reads: $box"
    grep -qxF 'caption=提示' <<<"$box" || fail "copy-failure box caption: $box"
    grep -qxF 'icon=warning' <<<"$box" || fail "copy-failure box icon: $box"
    grep -qxF 'owner_class=KlvApplication' <<<"$box" || fail "copy-failure box owner: $box"
    expect_main_enabled 0 "under the copy-failure box"
    close_box
}

echo "e2e: back-up from a complete installation"
set_install_dir "$work/install"
put_package "$install"
start_launcher
drive click TFrm_OxMain "$ID_LBBAK"
expect_box "安装文件备份成功。" information TFrm_OxMain env_backup_copied
diff -r "$install" "$work/stick/uInst" || fail "the stick's package is not the installation"
close_box

echo "e2e: the back-up copy fails"
rm -rf "$work/stick/uInst"
printf 'a file where the folder belongs' >"$work/stick/uInst"
drive click TFrm_OxMain "$ID_LBBAK"
expect_copy_failure_box
expect_box "安装文件备份失败。" warning TFrm_OxMain
close_box
expect_main_enabled 1 "after the copy failure"
rm -f "$work/stick/uInst"

echo "e2e: back-up from the network"
# An incomplete installation is not backed up; the package comes from the server.
rm "$install/KLVInfo.exe"
start_server "$work/package"
hold_server
drive click TFrm_OxMain "$ID_LBBAK"
wait_visible "$ID_PBBAK"
expect_visible "$ID_LBBAK" 0 "during the back-up download"
[ "$(control "$ID_PBBAK" | cut -f2 | cut -d' ' -f1,2)" = "64 292" ] || fail "back-up bar misplaced: $(control "$ID_PBBAK")"
screenshot env_backup_download
release_server
expect_box "从网络备份安装文件成功。" warning TFrm_OxMain env_backup_downloaded
expect_visible "$ID_LBBAK" 1 "under the back-up box"
expect_visible "$ID_PBBAK" 0 "under the back-up box"
close_box
diff -r "$work/package" "$work/stick/uInst" || fail "the stick's package is not the server's"
[ ! -e "$install/KLVInfo.exe" ] || fail "the back-up download went into the installation"

echo "e2e: the back-up download fails"
stop_server
rm -rf "$work/stick/uInst"
drive click TFrm_OxMain "$ID_LBBAK"
expect_box "下载文件失败，请检测网络或稍后再试。" warning TFrm_OxMain
close_box
expect_box "安装文件下载失败，请检测网络或稍后再试。" warning TFrm_OxMain
expect_visible "$ID_LBBAK" 1 "under the download-failure box"
close_box
exit_launcher

echo "e2e: the set-up's copy from the stick fails"
# The install folder cannot be created: a file stands where its parent belongs.
put_package "$work/stick/uInst"
printf 'in the way' >"$work/blocker"
set_install_dir "$work/blocker/install"
installs=$(starts_of KLVInst.exe)
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
expect_copy_failure_box
expect_box "拷贝安装文件失败，请卸载后再试。" warning TFrm_OxMain env_setup_copy_failed
close_box
[ "$(starts_of KLVInst.exe)" = "$installs" ] || fail "the installer was started after a failed copy"
expect_visible "$ID_BTUSER" 1 "after the failed copy"
exit_launcher

echo "e2e: uninstall through the cleaner"
set_install_dir "$work/install"
put_package "$install"
start_launcher
drive click TFrm_OxMain "$ID_LBUNINST"
expect_box "本机安装的KLV程序卸载完成。" information TFrm_OxMain env_uninstalled
expect_started_with_handle KLVClr.exe "$install_win"
# The box comes first: the folder is still there while it is open...
[ -f "$install/files.txt" ] || fail "the installation was deleted before the box was closed"
before=$(date +%s%N)
close_box
# ...and goes a second after it has closed.
for _ in $(seq 300); do [ -e "$install" ] || break; sleep 0.05; done
after=$(date +%s%N)
[ ! -e "$install" ] || fail "the installation was not deleted: $(ls -R "$install")"
waited=$(((after - before) / 1000000))
echo "e2e: the installation went ${waited} ms after the box was closed"
[ "$waited" -ge 1000 ] || fail "the installation was deleted ${waited} ms after the box, before the second had passed"

echo "e2e: uninstall without a cleaner"
put_package "$install"
rm "$install/KLVClr.exe"
drive click TFrm_OxMain "$ID_LBUNINST"
expect_box "本机未安装KLV程序，无须卸载。" information KlvApplication env_not_installed
[ ! -e "$install" ] || fail "what was left of the installation was not deleted"
expect_main_enabled 0 "under the not-installed box"
close_box
expect_main_enabled 1 "after the not-installed box"
# Nothing installed at all: the same box, and nothing else happens.
drive click TFrm_OxMain "$ID_LBUNINST"
expect_box "本机未安装KLV程序，无须卸载。" information KlvApplication
close_box
[ -e "$work/stick/klv-start.exe" ] && [ -d "$work/stick/uInst" ] || fail "the uninstall touched the stick"
exit_launcher
echo "e2e: env_backup_uninstall passed"
