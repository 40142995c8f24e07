# The default install folder turned against the machine, on the real launcher
# from a stick with a complete package: a link planted there (a Unix symbolic
# link, which Wine shows as a link) to a folder of someone else's, then a
# folder of another account in its place. At start-up nothing is granted, and
# the set-up and the uninstall each stop at one box; nothing behind the link
# or in the other account's folder changes, permissions included (Wine maps a
# granted list onto them), and no companion program starts. Then, with the
# planted folder gone, the launcher makes the default folder itself and uses it.
source "$KLV_E2E_LIB"
source "$(dirname "$KLV_E2E_LIB")/env-lib.sh"
env_setup
use_default_install_dir
trap 'rm -rf "$install"; env_teardown' EXIT

UNSAFE="KLV安装目录不安全，无法使用。"
put_package "$work/stick/uInst"
mkdir -p "$work/theirs/deep"
printf "someone else's" >"$work/theirs/precious.txt"
printf "not ours" >"$work/theirs/deep/data.bin"
chmod 755 "$work/theirs" "$work/theirs/deep"
# Every file and folder with its mode and size.
snapshot() { (cd "$1" && find . -printf '%p %m %s %u\n' | sort); }

for planted in link foreign; do
    rm -rf "$install"
    if [ "$planted" = link ]; then
        ln -s "$work/theirs" "$install"
        target=$work/theirs
    else
        mkdir -p "$install"
        printf theirs >"$install/theirs.txt"
        chown -R 65534:65534 "$install"
        target=$install
    fi
    before=$(snapshot "$target")
    echo "e2e: a $planted at the default install folder"
    start_launcher
    drive click TFrm_OxMain "$ID_BTUSER"
    expect_box "$UNSAFE" warning TFrm_OxMain "install_dir_${planted}_setup"
    close_box
    drive click TFrm_OxMain "$ID_LBUNINST"
    expect_box "$UNSAFE" warning TFrm_OxMain
    close_box
    no_box
    exit_launcher
    [ "$(snapshot "$target")" = "$before" ] || fail "$planted: changed behind it: $(diff <(echo "$before") <(snapshot "$target"))"
    [ "$(cat "$work/starts.txt" 2>/dev/null)" = "" ] || fail "$planted: a companion program was started"
done

echo "e2e: the default folder the launcher makes passes its own checks"
rm -rf "$install"
start_launcher
drive click TFrm_OxMain "$ID_BTUSER"
expect_box "KLV安装启动成功。" information TFrm_OxMain
close_box
exit_launcher
expect_started_with_handle KLVInst.exe "$install_win"
diff -r "$work/stick/uInst" "$install" || fail "the install folder is not the stick's package"
# Made open to every user, as the grant leaves it (Wine shows the list as the mode).
[ "$(stat -c %a "$install")" = 777 ] || fail "the default folder's mode is $(stat -c %a "$install")"
close_all TFrm_CtrlMain
echo "e2e: install_dir_links passed"
