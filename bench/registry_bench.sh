#!/usr/bin/env bash
# Registry benchmark, run by hand (never by ctest).
#
#   bench/registry_bench.sh setup    # prefix of its own + generated trees imported with regedit
#   bench/registry_bench.sh run      # timings (needs build/x64/quillfen-cli.exe)
#
# Two trees under HKLM\Software\QuillfenBench (a key this benchmark owns): Full with 100,000 keys and
# 200,000 string values, Quarter with 25,000 keys and 50,000 values. Under HKLM the tree is walked once
# by REGFIND (HKCU would be walked a second time below HKEY_USERS). Quarter is only there while the dumps
# are timed, so that REGFIND walks Full and the prefix's own keys and nothing else.
# It times, each side by side:
#   - REGFIND of a term found in 99 values of Full, through quillfen-cli (it walks all four hives),
#     against `regedit /E` of Full plus `grep -i` over the export (UTF-16LE bytes, hence grep -P);
#   - REG /s of Full and of Quarter (a linear dump takes at least a fifth as long on the quarter).
#   - REG /s of Full and of a web of links (Web: K0 to K24 with 100 plain sub-keys each and two links
#     to the next, 2^24 paths), each with the default threads against --threads 1.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/build/x64/bench-registry"
export WINEPREFIX="$bench/prefix" HOME="$bench/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cli="$root/build/x64/quillfen-cli.exe"
base='HKEY_LOCAL_MACHINE\Software\QuillfenBench'

# gen NAME TOP CHILDREN: TOP keys with CHILDREN sub-keys each (TOP * (CHILDREN + 1) keys), two string
# values per key; every 1000th leaf also holds the search term (99 leaves in Full).
gen() {
    awk -v base="$base" -v name="$1" -v top="$2" -v kids="$3" 'BEGIN {
        print "REGEDIT4"; print ""
        n = 0
        for (t = 0; t < top; t++) {
            k = base "\\" name "\\Group" t
            printf "[%s]\n\"Name\"=\"group %d of %s\"\n\"Path\"=\"c:\\\\bench\\\\%s\\\\g%d\"\n\n", k, t, name, name, t
            for (c = 0; c < kids; c++) {
                n++
                extra = (n % 1000 == 0) ? " zqxneedle" : ""
                printf "[%s\\Item%05d]\n\"Name\"=\"item %d%s\"\n\"Path\"=\"c:\\\\bench\\\\%s\\\\g%d\\\\i%d\"\n\n", k, c, n, extra, name, t, c
            }
        }
    }'
}

# The wineserver of this prefix: the process whose working folder is the prefix's server folder,
# named after the prefix's device and inode.
server_pid() {
    local name
    name=$(printf 'server-%x-%x' "$((16#$(stat -c %D "$WINEPREFIX")))" "$(stat -c %i "$WINEPREFIX")")
    for p in $(pgrep wineserver); do
        [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$name" ] && { echo "$p"; return; }
    done
}

server_ticks() {  # user + system clock ticks of this prefix's wineserver so far
    local pid
    pid=$(server_pid)
    [ -n "$pid" ] && awk '{ print $14 + $15 }' "/proc/$pid/stat" || echo 0
}

# timed LABEL COMMAND...: wall time, and the CPU time of the wineserver that serves every registry
# call of both sides (the machine's cores are shared, so the CPU figure is the steadier one).
timed() {
    local label="$1"
    shift
    local start end ticks0 ticks1
    ticks0=$(server_ticks)
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    ticks1=$(server_ticks)
    printf '%-44s wall %7.2f s  wineserver cpu %7.2f s\n' "$label" "$(echo "$end - $start" | bc)" \
        "$(echo "($ticks1 - $ticks0) / $(getconf CLK_TCK)" | bc -l)"
}

quill() {  # quill SCRIPTFILE REPORT [OPTION...]
    local script="$1" report="$2"
    shift 2
    wine "$cli" "$@" --out "Z:${report//\//\\}" "Z:${script//\//\\}" </dev/null >/dev/null 2>&1
}

# web: the web of links, written into the machine hive while no server runs (regedit makes no links).
web() {
    awk -v base='Software\\\\QuillfenBench\\\\Web' -v target='\\Registry\\Machine\\Software\\QuillfenBench\\Web' 'BEGIN {
        for (n = 32; n < 127; n++) ord[sprintf("%c", n)] = n
        for (i = 0; i < 25; i++) {
            printf "\n[%s\\\\K%d] 1796822103\n\"v\"=\"web K%d\"\n", base, i, i
            for (l = 0; l < 100; l++) printf "\n[%s\\\\K%d\\\\L%d] 1796822103\n", base, i, l
        }
        for (i = 0; i < 24; i++) {
            t = target "\\K" (i + 1)
            hex = ""
            for (c = 1; c <= length(t); c++) hex = hex sprintf("%s%02x,00", c > 1 ? "," : "", ord[substr(t, c, 1)])
            printf "\n[%s\\\\K%d\\\\a] 1796822103\n#link\n\"SymbolicLinkValue\"=hex(6):%s\n", base, i, hex
            printf "\n[%s\\\\K%d\\\\b] 1796822103\n#link\n\"SymbolicLinkValue\"=hex(6):%s\n", base, i, hex
        }
    }' >>"$WINEPREFIX/system.reg"
}

regedit_import() {  # regedit_import FILE
    wine regedit /S "Z:${1//\//\\}" </dev/null >/dev/null 2>&1
}

export_and_grep() {
    wine regedit /E "Z:${bench//\//\\}\\export.reg" "$base\\Full" </dev/null >/dev/null 2>&1
    LC_ALL=C grep -a -i -c -P 'z\x00q\x00x\x00n\x00e\x00e\x00d\x00l\x00e\x00' "$bench/export.reg" >"$bench/grep.count" || true
}

case "${1:-}" in
setup)
    rm -rf "$bench"
    mkdir -p "$bench/home"
    wine wineboot -i </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
    gen Full 100 999 >"$bench/full.reg"      # 100 * 1000 = 100,000 keys, 200,000 values
    gen Quarter 25 999 >"$bench/quarter.reg" # 25,000 keys, 50,000 values
    printf 'REGEDIT4\n\n[-%s\\Quarter]\n' "$base" >"$bench/quarter-remove.reg"
    timed "import Full (regedit)" regedit_import "$bench/full.reg"
    wineserver -w
    ;;
run)
    [ -d "$bench/prefix" ] || { echo "run '$0 setup' first" >&2; exit 2; }
    wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
    wine cmd /c exit </dev/null >/dev/null 2>&1
    printf ':REGFIND\nzqxneedle\n' >"$bench/find.txt"
    printf ':REG\n%s\\Full /s\n' "$base" >"$bench/dump-full.txt"
    printf ':REG\n%s\\Quarter /s\n' "$base" >"$bench/dump-quarter.txt"
    echo "cores: $(nproc) (shared)"
    for round in 1 2 3; do
        timed "REGFIND zqxneedle (4 hives), round $round" quill "$bench/find.txt" "$bench/find-report.txt"
        timed "regedit /E Full + grep -i, round $round" export_and_grep
    done
    # The web only while the dumps are timed, like Quarter: REGFIND walks Full and the prefix's keys.
    wineserver -k
    wineserver -w || true
    web
    printf 'REGEDIT4\n\n[-%s\\Web]\n' "$base" >"$bench/web-remove.reg"
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1
    timed "import Quarter (regedit)" regedit_import "$bench/quarter.reg"
    for round in 1 2 3; do
        timed "REG /s Full, round $round" quill "$bench/dump-full.txt" "$bench/dump-full-report.txt"
        timed "REG /s Quarter, round $round" quill "$bench/dump-quarter.txt" "$bench/dump-quarter-report.txt"
    done
    printf ':REG\n%s\\Web /s\n' "$base" >"$bench/dump-web.txt"
    for round in 1 2 3; do
        timed "REG /s Full, --threads 1, round $round" quill "$bench/dump-full.txt" "$bench/dump-full-1.txt" --threads 1
        timed "REG /s Web, default threads, round $round" quill "$bench/dump-web.txt" "$bench/dump-web-report.txt"
        timed "REG /s Web, --threads 1, round $round" quill "$bench/dump-web.txt" "$bench/dump-web-1.txt" --threads 1
    done
    # Only the header's creation line may differ.
    cmp -s <(iconv -f UTF-16LE -t UTF-8 "$bench/dump-web-report.txt" | tail -n +3) \
        <(iconv -f UTF-16LE -t UTF-8 "$bench/dump-web-1.txt" | tail -n +3) ||
        echo "REG /s Web: the report with --threads 1 differs from the default one" >&2
    regedit_import "$bench/quarter-remove.reg"
    regedit_import "$bench/web-remove.reg"
    echo "grep matches in export: $(cat "$bench/grep.count")"
    echo "REGFIND findings lines: $(iconv -f UTF-16LE -t UTF-8 "$bench/find-report.txt" | grep -c '^"Name"=' || true)"
    echo "REG /s Full report lines: $(iconv -f UTF-16LE -t UTF-8 "$bench/dump-full-report.txt" | wc -l)"
    echo "REG /s Quarter report lines: $(iconv -f UTF-16LE -t UTF-8 "$bench/dump-quarter-report.txt" | wc -l)"
    echo "REG /s Web report lines: $(iconv -f UTF-16LE -t UTF-8 "$bench/dump-web-report.txt" | wc -l)"
    wineserver -k
    ;;
*)
    echo "usage: $0 setup|run" >&2
    exit 2
    ;;
esac
