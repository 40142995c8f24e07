# The default error report, through the launcher's own window code (the
# harness raises an error inside a guarded handler): text with or without the
# added ".", caption KLV_Start, owned by the application window, the main
# window disabled while the report is open and usable again afterwards; the
# launcher goes on. Ends with Alt+E, which closes the launcher with code 0.
source "$KLV_E2E_LIB"

wine_bg "$E2E_DIR/shell_harness.exe"
harness=$LAST_BG_PID
drive wait-window TFrm_OxMain 30000 || fail "harness window did not appear"

# error number | text shown (each row: the fault it catches)
cases=(
    # ends in a quote, which is below '.': no full stop added
    "0|Invalid data type for 'KLV_U'"
    # ends in a letter: full stop added
    "1|Stream read error."
    # ends in a double-byte character, whose trail byte compares above '.'
    "2|Cannot open file \"files.txt\". 系统找不到指定的文件。."
    # an error that is not one of ours is reported all the same
    "3|Unexpected end of data!"
    # an empty message stays empty
    "4|"
)
for row in "${cases[@]}"; do
    n=${row%%|*}
    want=${row#*|}
    drive post-registered TFrm_OxMain KlvHarnessFail "$n"
    drive wait-window '#32770' 10000 || fail "no report for error $n"
    sleep 0.3
    [ "$n" = 1 ] && screenshot shell_error_report
    box=$(drive box | tr -d '\r')
    grep -qxF "text=$want" <<<"$box" || fail "error $n: report reads '$(sed -n 's/^text=//p' <<<"$box")', expected '$want'"
    grep -qx 'caption=KLV_Start' <<<"$box" || fail "error $n: caption"
    grep -qx 'owner_class=KlvApplication' <<<"$box" || fail "error $n: report not owned by the application window"
    drive describe TFrm_OxMain | tr -d '\r' | grep -qx 'enabled=0' || fail "error $n: main window enabled under the report"
    drive box-ok
    drive wait-gone '#32770' 10000 || fail "error $n: report did not close"
    sleep 0.3
    drive describe TFrm_OxMain | tr -d '\r' | grep -qx 'enabled=1' || fail "error $n: main window left disabled"
done

# Alt+E is the exit button's accelerator.
drive post TFrm_OxMain 0x106 0x65
wait "$harness" || fail "harness exited with code $?"
echo "e2e: shell_error_report passed"
