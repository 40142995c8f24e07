# An installer that the launcher's publisher did not sign is downloaded but
# never started: the launcher (signed with the build's key) shows one box
# saying which program it did not start and why, and the set-up goes no
# further. The installer signed with the same key as the launcher starts.
source "$KLV_E2E_LIB"
source "$(dirname "$KLV_E2E_LIB")/env-lib.sh"
env_setup
use_default_install_dir

for variant in unsigned:该程序没有数字签名 foreign:该程序不是由KLV的发布者签名的; do
    kind=${variant%%:*} why=${variant#*:}
    echo "e2e: an installer $kind"
    rm -rf "$install" "$work/starts.txt"
    cp "$E2E_DIR/companions-$kind/KLVInst.exe" "$work/package/KLVInst.exe"
    start_server "$work/package"
    start_launcher
    drive click TFrm_OxMain "$ID_BTUSER"
    expect_box "为了安全，KLV没有启动程序KLVInst.exe：$why。" warning TFrm_OxMain "env_untrusted_installer_$kind"
    cmp -s "$work/package/KLVInst.exe" "$install/KLVInst.exe" || fail "the installer was not downloaded"
    close_box
    sleep 2
    ! grep -q "^KLVInst.exe	" "$work/starts.txt" 2>/dev/null || fail "the $kind installer was started"
    no_box
    expect_visible "$ID_BTUSER" 1 "after the refusal"
    exit_launcher
    stop_server
done

echo "e2e: the installer signed like the launcher starts"
rm -rf "$work/starts.txt"
cp "$COMPANIONS/KLVInst.exe" "$install/KLVInst.exe"
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
wait_start KLVInst.exe
expect_box "KLV安装启动成功。" information TFrm_OxMain
close_box
close_all TFrm_CtrlMain
exit_launcher
echo "e2e: env_untrusted_installer passed"
