# The launcher's main window as another program sees it: class, caption,
# frameless size and place, region, the application window, every control's
# place, text and stacking order, the version line, the look (screenshot),
# and the exit button ending the process with code 0.
source "$KLV_E2E_LIB"

wine_bg "$KLV_BUILD_DIR/klv-start.exe"
launcher=$LAST_BG_PID
drive wait-window TFrm_OxMain 30000 || fail "main window did not appear"
sleep 1
drive expect-text TFrm_OxMain "Frm_0xMain" || fail "caption"

info=$(drive describe TFrm_OxMain | tr -d '\r')
echo "$info"
# Centred on the 1024 x 768 screen, client area = window: no frame or title.
grep -qx 'rect=237 204 550 360' <<<"$info" || fail "window not centred at 550 x 360"
grep -qx 'client=550 360' <<<"$info" || fail "client area is not 550 x 360"
style=$(sed -n 's/^style=//p' <<<"$info")
(( (16#$style & 16#00C40000) == 0 )) || fail "window has a caption or sizing border (style $style)"
# The taskbar entry is the application window's, titled KLV_Start, and it
# owns the main window.
grep -qx 'owner_class=KlvApplication' <<<"$info" || fail "main window not owned by the application window"
grep -qx 'owner_text=KLV_Start' <<<"$info" || fail "application title"

# Region: corners cut by the 6 x 6 ellipse, first row and column left out,
# right and bottom edges exclusive.
points="0,0 1,1 548,1 1,358 548,358 275,0 275,1 0,180 1,180 548,180 549,180 275,358 275,359 275,180"
expected="0 0 0 0 0 0 1 0 1 1 0 1 0 1"
got=$(drive region TFrm_OxMain $points | tr -d '\r')
[ "$got" = "$expected" ] || fail "region: got '$got', expected '$expected' for $points"

# Children from the top of the stacking order down: id, visible, rect, text.
# The progress bars are hidden, PBDL lies exactly over BtUser and PBBak 4
# pixels above LbBak; LbVer carries the version resource of the executable.
cat >"$KLV_ARTEFACTS/shell_children.expected" <<'TABLE'
1017	0	64 292 85 17	下载文件
1016	0	397 108 109 29	下载文件
1015	1	397 164 109 29	对文件授权(&A)
1014	1	397 288 109 29	退出(&E)
1013	1	397 108 109 29	开启使用环境(&S)
1012	1	396 332 109 13	Ver:1.0.12.15
1011	1	172 296 97 13	卸载本机安装
1010	1	64 296 97 13	备份安装程序
1009	1	44 164 13 20	
1008	1	44 104 13 20	
1007	1	404 12 90 94	
1006	1	32 36 32 32	
1005	1	64 108 301 29	欢迎使用岚川软件公司提供的U盘控制程序。首次在本机查看U盘控制密文，请点击开启使用环境。
1004	1	64 164 309 29	如果需要通过本U盘控制外发文件，请将文件拷贝到U盘，并对文件进行授权设置。开始授权，请点击对文件授权。
1003	1	68 44 189 16	开启KLV安全之旅
1002	1	4 4 542 352	
1001	1	0 0 550 360	
TABLE
drive children TFrm_OxMain | tr -d '\r' >"$KLV_ARTEFACTS/shell_children.actual"
# PBBak's height follows its font; everything else must match exactly.
sed -i -E '1s/^(1017\t0\t64 292 85 )[0-9]+/\117/' "$KLV_ARTEFACTS/shell_children.actual"
diff "$KLV_ARTEFACTS/shell_children.expected" "$KLV_ARTEFACTS/shell_children.actual" || fail "controls differ"

screenshot shell_window
expect_drawn shell_window 64
pixel() { convert "$KLV_ARTEFACTS/shell_window.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:; }
# The green frame along the left edge, the gradient (near white at the top,
# light blue at the bottom) and a blue button face.
[ "$(pixel $((237 + 3)) $((204 + 180)))" = "0,128,0" ] || fail "no green frame: $(pixel 240 384)"
[ "$(pixel $((237 + 300)) $((204 + 10)))" != "$(pixel $((237 + 300)) $((204 + 340)))" ] || fail "background is flat"
IFS=, read -r r g b <<<"$(pixel $((237 + 400)) $((204 + 300)))"
(( b > 120 && b > r + 40 )) || fail "exit button is not blue ($r,$g,$b)"

# The exit button closes the window and the launcher ends with code 0.
drive click TFrm_OxMain 1014
wait "$launcher" || fail "launcher exited with code $?"
drive count TFrm_OxMain | tr -d '\r' | grep -qx 0 || fail "window still there"
echo "e2e: shell_window passed"
