#!/bin/sh
# The scan only reads: run a script that uses every context and both commands in a prefix of its own,
# let the wine server write the registry out, and compare the registry files and a fixture tree with
# what they were before. The report must be the only new file.
#   readonly.sh QUILLFEN_CLI_EXE WORK_FOLDER
set -eu
cli=$1
root=$2
export WINEPREFIX="$root/prefix" HOME="$root/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k >/dev/null 2>&1 || true
rm -rf "$root"
mkdir -p "$HOME"
wine wineboot -i </dev/null >/dev/null 2>&1
wineserver -w

fixture="$WINEPREFIX/drive_c/readonly-fixture"
mkdir -p "$fixture/sub/deeper"
printf 'plain text\r\n' >"$fixture/a.txt"
printf 'binary\000\001\002' >"$fixture/sub/b.bin"
cp "$cli" "$fixture/sub/deeper/copy.exe"
touch -d '2020-02-29 12:00' "$fixture/a.txt"

# Wine itself rewrites a few keys whenever a program starts (display driver dates, font cache), so
# the registry is compared key by key, leaving out the keys that a run of a script that reads nothing
# changes as well.
registry_lines() {  # one "key<TAB>line" row per line of the prefix's registry files, timestamps left out
    for hive in system user userdef; do
        awk -v hive="$hive" '
            /^\[/ { key = hive ":" $0; sub(/\] [0-9]+$/, "]", key); print key "\t(key)"; next }
            /^#time=/ { next }
            key != "" { print key "\t" $0 }' "$WINEPREFIX/$hive.reg"
    done | sort
}
files() {
    (
        cd "$WINEPREFIX"
        find drive_c/readonly-fixture -exec stat -c '%n %s %Y %a' {} + | sort
        find drive_c/readonly-fixture -type f -exec sha256sum {} + | sort
        find . -path ./drive_c/windows/temp -prune -o -path './*.reg' -prune -o -print | sort
    )
}
run_cli() {  # run_cli SCRIPT_FILE REPORT_NAME
    wine "$cli" --out "C:\\$2" "Z:$(echo "$1" | tr / '\\')" </dev/null >/dev/null 2>"$root/stderr.txt"
    wineserver -w
    test -s "$WINEPREFIX/drive_c/$2" || { echo "no report was written" >&2; cat "$root/stderr.txt" >&2; exit 1; }
    mv "$WINEPREFIX/drive_c/$2" "$root/$2"
}

registry_lines >"$root/registry-before.txt"
files >"$root/files-before.txt"
printf ':COMMENT\r\nnothing\r\n' >"$root/quiet.txt"
run_cli "$root/quiet.txt" quiet-report.txt
registry_lines >"$root/registry-quiet.txt"
# Keys that Wine changes on its own during a run.
comm -3 "$root/registry-before.txt" "$root/registry-quiet.txt" | sed 's/^\t//' | cut -f1 | sort -u >"$root/wine-own-keys.txt"

script="$WINEPREFIX/drive_c/readonly-script.txt"
cat >"$script" <<'SCRIPT'
:FILE
C:\readonly-fixture\a.txt
C:\readonly-fixture\sub\deeper\copy.exe
:DIR
C:\readonly-fixture /sub /md5
C:\readonly-fixture /wsu*
:FILEFIND
*.bin
:FOLDERFIND
deep*
:REG
HKLM\Software\Microsoft\Windows NT\CurrentVersion /s
HKCU /s
:REGFIND
readonly
:ENV
%SystemRoot%
:PROCESS
services.exe
:SERVICE
RpcSs
:ASSOC
.txt
:CONTENTS
C:\readonly-fixture\a.txt
:COMMENT
nothing
::csinfo
::safeboot
SCRIPT
mv "$script" "$root/script.txt"
run_cli "$root/script.txt" readonly-report.txt

registry_lines >"$root/registry-after.txt"
files >"$root/files-after.txt"
comm -3 "$root/registry-before.txt" "$root/registry-after.txt" | sed 's/^\t//' |
    awk -F '\t' 'NR == FNR { own[$1] = 1; next } !($1 in own)' "$root/wine-own-keys.txt" - >"$root/registry-changes.txt"
status=0
if [ -s "$root/registry-changes.txt" ]; then
    echo "the scan changed the registry:" >&2
    head -n 40 "$root/registry-changes.txt" >&2
    status=1
fi
if ! diff -u "$root/files-before.txt" "$root/files-after.txt" >&2; then
    echo "the scan changed files of the prefix (see above)" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "read-only: registry ($(wc -l <"$root/registry-before.txt") lines, $(wc -l <"$root/wine-own-keys.txt") keys Wine rewrites itself left out) and files unchanged; report $(wc -c <"$root/readonly-report.txt") bytes"
exit "$status"
