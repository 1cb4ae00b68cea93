#!/usr/bin/env bash
# Benchmarks of quillfen-cli against the tools a person would use for the same job, run side by side in
# one Wine prefix of their own (build/x64/bench). Run by hand through scripts/bench, never by ctest.
#
#   scripts/bench                 all benchmarks; the table goes to the screen and to bench/results.md
#   scripts/bench reg contents    only the named ones (file folderfind filefind regfind reg contents deep
#                                 walk chains small); the table is printed, bench/results.md is left alone
#   (walk: DIR /sub and FILEFIND + FOLDERFIND of folder chains 500 and 1,000 deep, against cmd's dir /s)
#   (chains: REG /s of a chain as deep as the registry allows and of a comb; small: REG /s of 20,000
#   keys and FILEFIND of 20,000 files, in a prefix made afresh for them, also default against
#   --threads 1 with the program held to one core and beside one busy process per core)
#   BENCH_ROUNDS=5 scripts/bench  more rounds (3 at least)
#   BENCH_FRESH=1 scripts/bench   throw the prefix away and generate every fixture again
#
# Every figure is the median wall time of its rounds; each round runs our side and then the peer, so
# both see the same machine load. The machine's cores are shared, so the CPU time (the process tree's
# user + system time plus that of the prefix's wineserver, which serves every registry call) is
# printed beside each round as a steadier second view.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/build/x64/bench"
# BENCH_CLI measures another build (a baseline) as it is, without building this tree's.
cli="${BENCH_CLI:-$root/build/x64/quillfen-cli.exe}"
results="$root/bench/results.md"
rounds="${BENCH_ROUNDS:-3}"
[ "$rounds" -ge 3 ] || rounds=3
all=(file folderfind filefind regfind reg contents deep walk chains small)
selected=("$@")
[ ${#selected[@]} -gt 0 ] || selected=("${all[@]}")

export WINEPREFIX="$bench/prefix" HOME="$bench/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drive="$WINEPREFIX/drive_c"
work="$bench/work"             # scripts, reports and peer outputs (outside drive C:, so never searched)
parked="$bench/parked"         # the three quarters of the file tree taken away for the growth run
treeName="qfbench"             # C:\qfbench holds the file fixtures
regBase='HKEY_LOCAL_MACHINE\Software\QuillfenBench'
# The peers by full path: `wine regedit` would run the program in a second process through start.exe,
# whose time the process accounting of this script would not see.
regedit='C:\windows\regedit.exe'
cmd='C:\windows\system32\cmd.exe'

# Sizes of the fixtures.
regTop=100 regKids=999         # 100 * (999 + 1) = 100,000 keys, two string values each
dirTop=20 dirKids=999          # 20 * (999 + 1) = 20,000 folders
filesPerDir=5                  # 20,000 * 5 = 100,000 files
bigMiB=1024 contentsMiB=64
keysLabel="100,000 keys" filesLabel="100,000 files"
small=""                       # set while the small trees are measured: no growth or memory rows

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# --- Fixtures -------------------------------------------------------------------------------------

gen_registry() {  # the registry tree as a .reg file; every 1000th key also holds the search term
    awk -v base="$regBase" -v top="$regTop" -v kids="$regKids" 'BEGIN {
        print "REGEDIT4"; print ""
        n = 0
        for (t = 0; t < top; t++) {
            k = base "\\Group" t
            printf "[%s]\n\"Name\"=\"group %d\"\n\"Path\"=\"c:\\\\bench\\\\g%d\"\n\n", k, t, t
            for (c = 0; c < kids; c++) {
                n++
                extra = (n % 1000 == 0) ? " zqxneedle" : ""
                printf "[%s\\Item%05d]\n\"Name\"=\"item %d%s\"\n\"Path\"=\"c:\\\\bench\\\\g%d\\\\i%d\"\n\n", k, c, n, extra, t, c
            }
        }
    }'
}

# The file tree: $dirTop top folders qfdTT, each holding $dirKids folders qfdTT_KKK; every one of the
# 20,000 folders holds $filesPerDir files itemN.qfb of 200 to 1,700 bytes. Made from the Linux side,
# which is much faster than through Wine.
gen_files() {
    local tree="$drive/$treeName/tree"
    rm -rf "$drive/$treeName" "$parked"
    mkdir -p "$tree" "$drive/$treeName/big" "$parked"
    (
        cd "$tree"
        for ((t = 0; t < dirTop; t++)); do
            top=$(printf 'qfd%02d' "$t")
            mkdir "$top"
            for ((k = 0; k < dirKids; k++)); do mkdir "$top/$(printf '%s_%03d' "$top" "$k")"; done
        done
        # One awk process writes every file; the top folders hold files too.
        find . -mindepth 1 -type d | sort | awk -v per="$filesPerDir" '{
            for (i = 0; i < per; i++) {
                n++
                f = $0 "/item" n ".qfb"
                size = 200 + (n * 7919) % 1500
                line = sprintf("file %d of the Quillfen benchmark tree\r\n", n)
                text = ""
                while (length(text) < size) text = text line
                printf "%s", substr(text, 1, size) > f
                close(f)
            }
        }'
    )
    [ -n "$small" ] || gen_big
}

# The large files alone (FILE and CONTENTS need nothing else).
gen_big() {
    mkdir -p "$drive/$treeName/big"
    # The 1 GiB file for FILE: incompressible bytes, so nothing can take a shortcut.
    head -c "$((bigMiB * 1024 * 1024))" /dev/urandom >"$drive/$treeName/big/one-gib.bin"
    # The 64 MiB text for CONTENTS: CR LF lines of printable text.
    awk -v mib="$contentsMiB" 'BEGIN {
        line = "The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ."
        total = mib * 1024 * 1024
        for (n = 0; written < total; n++) {
            s = sprintf("%08d %s\r\n", n, line)
            if (written + length(s) > total) s = substr(s, 1, total - written)
            printf "%s", s
            written += length(s)
        }
    }' >"$drive/$treeName/big/contents.txt"
}

needs() {  # needs NAME...: whether one of the benchmarks named is selected (fixtures are made for those only)
    local n w
    for n in "${selected[@]}"; do
        for w in "$@"; do [ "$n" = "$w" ] && return 0; done
    done
    return 1
}

setup() {
    if [ -n "${BENCH_FRESH:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$bench"
    fi
    mkdir -p "$HOME" "$work"
    if [ ! -f "$bench/prefix.done" ]; then
        echo "bench: creating the Wine prefix" >&2
        wine wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
        touch "$bench/prefix.done"
    fi
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one server for the whole run
    wine cmd /c exit </dev/null >/dev/null 2>&1          # warm: the prefix's services start now
    if needs reg regfind && [ ! -f "$bench/registry.done" ]; then
        echo "bench: importing $((regTop * (regKids + 1))) keys with regedit" >&2
        gen_registry >"$work/tree.reg"
        wine "$regedit" /S "$(winpath "$work/tree.reg")" </dev/null >/dev/null 2>&1
        touch "$bench/registry.done"
    fi
    if needs folderfind filefind && [ ! -f "$bench/files.done" ]; then
        echo "bench: writing $((dirTop * (dirKids + 1) * filesPerDir)) files in $((dirTop * (dirKids + 1))) folders$(
            [ -n "$small" ] || echo ", a 1 GiB file and a 64 MiB text")" >&2
        gen_files
        touch "$bench/files.done" "$bench/big.done"
    elif needs file contents && [ ! -f "$bench/files.done" ] && [ ! -f "$bench/big.done" ]; then
        echo "bench: writing a 1 GiB file and a 64 MiB text" >&2
        gen_big
        touch "$bench/big.done"
    fi
    # A growth run that was cut short leaves three quarters of the tree parked: put them back.
    if compgen -G "$parked/*" >/dev/null; then mv "$parked"/* "$drive/$treeName/tree/"; fi
}

# --- Timing ---------------------------------------------------------------------------------------

# The wineserver of this prefix: the process whose working folder is the prefix's server folder,
# named after the prefix's device and inode.
server_pid() {
    local name p
    name=$(printf 'server-%x-%x' "$((16#$(stat -c %D "$WINEPREFIX")))" "$(stat -c %i "$WINEPREFIX")")
    for p in $(pgrep wineserver); do
        [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$name" ] && { echo "$p"; return; }
    done
}

server_ticks() {
    local pid
    pid=$(server_pid)
    if [ -n "$pid" ]; then awk '{ print $14 + $15 }' "/proc/$pid/stat"; else echo 0; fi
}

# measure COMMAND...: runs it once; sets $wall and $cpu (seconds) and $peak (KiB, see below).
# Peak memory: the VmHWM (high-water mark of the resident set) of the command's own process, read from
# /proc every 20 ms while it runs. `wine X.exe` runs the Windows program in the process it starts, so
# that is quillfen-cli.exe's peak working set, Wine's own libraries included.
measure() {
    local timefile="$work/time.txt" ticks0 ticks1 pid hwm
    ticks0=$(server_ticks)
    peak=0
    local TIMEFORMAT='%R %U %S'
    {
        time {
            "$@" </dev/null >/dev/null 2>&1 &
            pid=$!
            while kill -0 "$pid" 2>/dev/null; do
                hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
                [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
                sleep 0.02
            done
            wait "$pid" || true
        }
    } 2>"$timefile"
    ticks1=$(server_ticks)
    read -r wall user sys <"$timefile"
    cpu=$(echo "$user + $sys + ($ticks1 - $ticks0) / $(getconf CLK_TCK)" | bc -l)
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

rows=()      # the table's lines
details=()   # every round's figures

# pair NAME TARGET OURS_FUNCTION PEER_FUNCTION: rounds of both sides; one table row.
pair() {
    local name="$1" target="$2" ours="$3" peer="$4" r ourWalls=() peerWalls=() ourCpus=() peerCpus=()
    for ((r = 1; r <= rounds; r++)); do
        "$ours"
        ourWalls+=("$wall")
        ourCpus+=("$cpu")
        details+=("$(printf '| %s | %d | ours | %.2f | %.2f | %s |' "$name" "$r" "$wall" "$cpu" "$(kib "$peak")")")
        "$peer"
        peerWalls+=("$wall")
        peerCpus+=("$cpu")
        details+=("$(printf '| %s | %d | peer | %.2f | %.2f | - |' "$name" "$r" "$wall" "$cpu")")
    done
    local om pm ratio cpuRatio
    om=$(median "${ourWalls[@]}")
    pm=$(median "${peerWalls[@]}")
    ratio=$(echo "$om / $pm" | bc -l)
    cpuRatio=$(echo "$(median "${ourCpus[@]}") / $(median "${peerCpus[@]}")" | bc -l)
    row "$name" "$(printf '%.2f s' "$om")" "$(printf '%.2f s' "$pm")" "$(printf '%.2f' "$ratio")" \
        "$(printf '%.2f' "$cpuRatio")" "$target" "$(verdict "$ratio" "$target")"
}

kib() { if [ "$1" -gt 0 ]; then printf '%.0f MiB' "$(echo "$1 / 1024" | bc -l)"; else printf -- '-'; fi; }

verdict() {  # verdict VALUE "<= 1.5" | "< 200"
    local op="${2%% *}" limit="${2##* }"
    if [ "$(echo "$1 $op $limit" | bc -l)" = 1 ]; then echo met; else echo "NOT met"; fi
}

row() {
    rows+=("$(printf '| %s | %s | %s | %s | %s | %s | %s |' "$@")")
    printf '%-56s %10s %10s %6s %6s %7s  %s\n' "$@" >&2
}

unavailable() { row "$1" "not yet available" "" "" "" "$2" ""; }

# quill NAME [OPTION...]: runs the script $work/NAME.txt, with the console front end's OPTIONs and
# under $held (a command such as `taskset -c 0`, or nothing); the report goes to $work/NAME-report.txt.
held=""
quill() {
    local name="$1"
    shift
    # shellcheck disable=SC2086 # $held is a command and its arguments, or nothing
    measure $held wine "$cli" "$@" --out "$(winpath "$work/$name-report.txt")" "$(winpath "$work/$name.txt")"
}

# Whether the console front end handles a context: a probe script whose report then holds `expect`.
handles() {  # handles CONTEXT PAYLOAD EXPECT
    printf ':%s\r\n%s\r\n' "$1" "$2" >"$work/probe.txt"
    wine "$cli" --out "$(winpath "$work/probe-report.txt")" "$(winpath "$work/probe.txt")" </dev/null >/dev/null 2>&1 || return 1
    iconv -f UTF-16LE -t UTF-8 "$work/probe-report.txt" | grep -q -- "$3"
}

script() {  # script NAME CONTEXT PAYLOAD
    printf ':%s\r\n%s\r\n' "$2" "$3" >"$work/$1.txt"
}

lines_of() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r'; }

# growth NAME SCRIPT TARGET WHOLE_WALLS...: rounds of our side on the quarter-sized SCRIPT; one row that
# divides the median of the whole-tree walls by the quarter's.
growth() {
    local name="$1" quarterScript="$2" target="$3" r quarter=()
    shift 3
    for ((r = 1; r <= rounds; r++)); do
        quill "$quarterScript"
        quarter+=("$wall")
        details+=("$(printf '| %s on a quarter | %d | ours | %.2f | %.2f | %s |' "$name" "$r" "$wall" "$cpu" "$(kib "$peak")")")
    done
    local wm qm ratio
    wm=$(median "$@")
    qm=$(median "${quarter[@]}")
    ratio=$(echo "$wm / $qm" | bc -l)
    row "growth: $name whole tree / quarter" "$(printf '%.2f s' "$wm")" "$(printf '%.2f s (quarter)' "$qm")" \
        "$(printf '%.2f' "$ratio")" "" "$target" "$(verdict "$ratio" "$target")"
}

# --- The benchmarks -------------------------------------------------------------------------------

bigWin="C:\\$treeName\\big\\one-gib.bin"
contentsWin="C:\\$treeName\\big\\contents.txt"

bench_file() {
    if ! handles FILE 'C:\windows\notepad.exe' 'MD5: '; then
        unavailable "FILE of a 1 GiB file (MD5) vs md5sum" "<= 0.95"
        unavailable "FILE of a 1 GiB file (MD5) vs openssl dgst -md5" "<= 1.0"
        return
    fi
    script file FILE "$bigWin"
    md5sum "$drive/$treeName/big/one-gib.bin" >/dev/null  # page cache warm for every side
    our_file() { quill file; }
    peer_file() { measure md5sum "$drive/$treeName/big/one-gib.bin"; }
    pair "FILE of a 1 GiB file (MD5) vs md5sum" "<= 0.95" our_file peer_file
    # The fastest MD5 on the machine: OpenSSL's, in assembly.
    openssl_file() { measure openssl dgst -md5 "$drive/$treeName/big/one-gib.bin"; }
    pair "FILE of a 1 GiB file (MD5) vs openssl dgst -md5" "<= 1.0" our_file openssl_file
    local ours theirs
    ours=$(lines_of "$work/file-report.txt" | awk '/^MD5: / { print tolower($2) }')
    theirs=$(md5sum "$drive/$treeName/big/one-gib.bin" | cut -d' ' -f1)
    [ "$ours" = "$theirs" ] || echo "bench: FILE digest $ours differs from md5sum $theirs" >&2
}

bench_folderfind() {
    if ! handles FOLDERFIND system32 'Searching for'; then
        unavailable "FOLDERFIND of 20,000 folders" "<= 0.6"
        return
    fi
    script folderfind FOLDERFIND 'qfd*'
    our_folderfind() { quill folderfind; }
    dir_folders() { wine "$cmd" /c dir /s /b /ad 'C:\qfd*' >"$work/dir-ad.txt"; }
    peer_folderfind() { measure dir_folders; }
    pair "FOLDERFIND qfd* (20,000 folders) vs dir /s /b /ad" "<= 0.6" our_folderfind peer_folderfind
    echo "bench: FOLDERFIND found $(lines_of "$work/folderfind-report.txt" | grep -c '^C:' || true) folders," \
        "dir /s /b /ad listed $(grep -c . "$work/dir-ad.txt" || true)" >&2
}

# The peer of FILEFIND: the names from cmd's dir, then md5sum of each of them from the Linux side.
dir_and_md5sum() {
    wine "$cmd" /c dir /s /b 'C:\*.qfb' >"$work/dir-files.txt"
    tr -d '\r' <"$work/dir-files.txt" | sed -e 's|^C:\\|'"$drive"'/|' -e 's|\\|/|g' | tr '\n' '\0' |
        xargs -0 md5sum >"$work/md5sum.txt"
}

filefind_whole=()   # wall times of the whole-tree runs (also used by the growth row)
filefind_peak=0

bench_filefind() {
    if ! handles FILEFIND notepad.exe 'Searching for'; then
        unavailable "FILEFIND *.qfb (100,000 files)" "<= 1.0"
        unavailable "growth: FILEFIND whole tree / quarter" "<= 4.5"
        unavailable "memory: peak working set of FILEFIND" "< 64"
        return
    fi
    script filefind FILEFIND '*.qfb'
    our_filefind() {
        quill filefind
        filefind_whole+=("$wall")
        [ "$peak" -gt "$filefind_peak" ] && filefind_peak=$peak
        return 0
    }
    peer_filefind() { measure dir_and_md5sum; }
    pair "FILEFIND *.qfb ($filesLabel) vs dir /s /b + md5sum" "<= 1.0" our_filefind peer_filefind
    echo "bench: FILEFIND found $(lines_of "$work/filefind-report.txt" | grep -c '^C:' || true) files," \
        "dir /s /b listed $(grep -c . "$work/dir-files.txt" || true), md5sum hashed $(grep -c . "$work/md5sum.txt" || true)" >&2
    [ -z "$small" ] || return 0

    # Growth: the same search with three quarters of the tree moved out of drive C: (a rename on the
    # Linux side), so that a quarter of it is left. The prefix's own files are searched both times.
    local t
    for ((t = dirTop / 4; t < dirTop; t++)); do mv "$drive/$treeName/tree/$(printf 'qfd%02d' "$t")" "$parked/"; done
    script filefind-quarter FILEFIND '*.qfb'
    growth FILEFIND filefind-quarter "<= 4.5" "${filefind_whole[@]}"
    mv "$parked"/* "$drive/$treeName/tree/"
    local mib
    mib=$(echo "$filefind_peak / 1024" | bc -l)
    row "memory: peak working set of FILEFIND" "$(printf '%.0f MiB' "$mib")" "" "" "" "< 64" "$(verdict "$mib" "< 64")"
}

bench_regfind() {
    script regfind REGFIND zqxneedle
    our_regfind() { quill regfind; }
    export_and_grep() {
        wine "$regedit" /E "$(winpath "$work/export.reg")" "$regBase" </dev/null >/dev/null 2>&1
        # regedit writes UTF-16LE, so the term is matched as UTF-16LE bytes.
        LC_ALL=C grep -a -i -c -P 'z\x00q\x00x\x00n\x00e\x00e\x00d\x00l\x00e\x00' "$work/export.reg" >"$work/grep.txt" || true
    }
    peer_regfind() { measure export_and_grep; }
    pair "REGFIND over 100,000 keys vs regedit /E + grep -i" "<= 0.9" our_regfind peer_regfind
    echo "bench: REGFIND findings $(lines_of "$work/regfind-report.txt" | grep -c '^"Name"=' || true)," \
        "grep matched $(cat "$work/grep.txt") lines" >&2
}

reg_whole=()   # wall times of the whole-tree REG /s runs (also used by the growth row)

bench_reg() {
    script reg REG "$regBase /s"
    our_reg() {
        quill reg
        reg_whole+=("$wall")
    }
    peer_reg() { measure wine "$regedit" /E "$(winpath "$work/export.reg")" "$regBase"; }
    pair "REG /s dump of $keysLabel vs regedit /E" "<= 0.5" our_reg peer_reg
    echo "bench: REG /s wrote $(lines_of "$work/reg-report.txt" | grep -c '^\[' || true) key headers" >&2
    [ -z "$small" ] || return 0

    # Growth: a quarter of the tree (its first quarter of groups, one REG /s line each) against the
    # whole. Linear growth is 4; the target asks that the whole take at most 4.5 times the quarter.
    local t payload=""
    for ((t = 0; t < regTop / 4; t++)); do payload+="$regBase\\Group$t /s"$'\r\n'; done
    script reg-quarter REG "${payload%$'\r\n'}"
    growth "REG /s" reg-quarter "<= 4.5" "${reg_whole[@]}"
    echo "bench: REG /s on a quarter wrote $(lines_of "$work/reg-quarter-report.txt" | grep -c '^\[' || true) key headers" >&2
}

bench_contents() {
    script contents CONTENTS "$contentsWin"
    our_contents() { quill contents; }
    peer_contents() { measure wine "$cmd" /c type "$contentsWin" ">" "$(winpath "$work/type-out.txt")"; }
    pair "CONTENTS of a 64 MiB file vs cmd /c type > OUT" "<= 0.05" our_contents peer_contents
    echo "bench: CONTENTS report $(stat -c %s "$work/contents-report.txt") bytes, type wrote" \
        "$(stat -c %s "$work/type-out.txt") bytes" >&2
}

# A tree 2,000 folders deep, one file at the bottom: DIR /sub must walk it to the end on its own stack.
# Wine makes every open cost the square of the depth, so this is one round, with no peer. The tree
# waits outside drive C: between runs, so that the searches above never see it.
deepParked="$bench/deep"
bench_deep() {
    if [ ! -d "$deepParked" ]; then
        mkdir -p "$deepParked"
        (
            cd "$deepParked" || exit 1
            for ((i = 1; i < 2000; i++)); do mkdir d && cd d || exit 1; done
            mkdir bottom && printf abc >bottom/qfdeep.bin
        )
    fi
    mv "$deepParked" "$drive/qfdeep"
    script deep DIR 'C:\qfdeep /sub /nofiles'
    quill deep
    mv "$drive/qfdeep" "$deepParked"
    details+=("$(printf '| %s | 1 | ours | %.2f | %.2f | %s |' "DIR /sub 2,000 deep" "$wall" "$cpu" "$(kib "$peak")")")
    # Wine's server resolves the whole Linux path of every folder it opens, one readlink per level, each
    # from the root (see bench/notes.md): the target is what that allows on a quiet machine.
    row "DIR /sub of a tree 2,000 folders deep (one round, no peer)" "$(printf '%.2f s' "$wall")" "-" "" "" "< 120" \
        "$(verdict "$wall" "< 120")"
    echo "bench: DIR /sub listed $(lines_of "$work/deep-report.txt" | grep -c '^C:.qfdeep.*d-----' || true) folders" \
        "and $(lines_of "$work/deep-report.txt" | grep -c '^qfdeep.bin' || true) file" >&2
}

# Chains of folders 500 and 1,000 deep, one folder "d" and one file qfwalk.txt on every level: what a
# walk costs as it goes deeper. Every line of these reports holds the whole path, so the reports grow
# about 4 times from 500 to 1,000 and a walk whose cost follows its work grows about as much. Parked
# outside drive C: between runs, one chain at a time on C:.
walkParked="$bench/walk"
gen_walk() {  # gen_walk DEPTH
    local dir="$walkParked/chain$1"
    [ -d "$dir" ] && return 0
    mkdir -p "$dir"
    (
        cd "$dir" || exit 1
        for ((i = 0; i < $1; i++)); do printf 'level %d\r\n' "$i" >qfwalk.txt && mkdir d && cd d || exit 1; done
    )
}

bench_walk() {
    local depth r dirWalls findWalls
    declare -A dirMedian findMedian
    # Wine's cmd overflows its stack about 56 folders down (it lists 56 of a 500-deep chain's files and
    # then dies), so only a chain it walks to the end gives the pair the same work.
    gen_walk 50
    mv "$walkParked/chain50" "$drive/qfwalk"
    script walk-dir-50 DIR 'C:\qfwalk /sub'
    our_walk_dir_50() { quill walk-dir-50; }
    dir_s_50() { wine "$cmd" /c dir /s 'C:\qfwalk' >"$work/dir-s-50.txt"; }
    peer_walk_dir_50() { measure dir_s_50; }
    pair "DIR /sub of a chain 50 deep vs dir /s (both list every level)" "<= 1.0" our_walk_dir_50 peer_walk_dir_50
    echo "bench: chain 50: DIR /sub listed $(lines_of "$work/walk-dir-50-report.txt" | grep -c '^qfwalk.txt' || true)" \
        "files, dir /s $(grep -c 'qfwalk.txt' "$work/dir-s-50.txt" || true)" >&2
    mv "$drive/qfwalk" "$walkParked/chain50"
    for depth in 500 1000; do
        gen_walk "$depth"
        mv "$walkParked/chain$depth" "$drive/qfwalk"
        script "walk-dir-$depth" DIR 'C:\qfwalk /sub'
        printf ':FILEFIND\r\nqfwalk.txt\r\n:FOLDERFIND\r\nd\r\n' >"$work/walk-find-$depth.txt"
        if [ "$depth" = 500 ]; then
            our_walk_dir() { quill walk-dir-500; }
            dir_s() { wine "$cmd" /c dir /s 'C:\qfwalk' >"$work/dir-s.txt"; }
            peer_walk_dir() { measure dir_s; }
            pair "DIR /sub of a chain 500 deep vs dir /s (which stops where its stack overflows)" "<= 1.0" \
                our_walk_dir peer_walk_dir
            echo "bench: DIR /sub listed $(lines_of "$work/walk-dir-500-report.txt" | grep -c '^qfwalk.txt' || true)" \
                "files, dir /s $(grep -c 'qfwalk.txt' "$work/dir-s.txt" || true)" >&2
            # The digests are taken on the pool's threads, each file opened inside the folder it lies in.
            script walk-md5 DIR 'C:\qfwalk /sub /md5'
            default_walk_md5() { quill walk-md5; }
            one_walk_md5() { quill walk-md5 --threads 1; }
            pair "DIR /sub /md5 of a chain 500 deep: default vs --threads 1" "<= 1.05" default_walk_md5 one_walk_md5
        fi
        dirWalls=() findWalls=()
        for ((r = 1; r <= rounds; r++)); do
            quill "walk-dir-$depth"
            dirWalls+=("$wall")
            details+=("$(printf '| %s | %d | ours | %.2f | %.2f | %s |' "DIR /sub, chain $depth deep" "$r" "$wall" "$cpu" "$(kib "$peak")")")
            quill "walk-find-$depth"
            findWalls+=("$wall")
            details+=("$(printf '| %s | %d | ours | %.2f | %.2f | %s |' "FILEFIND + FOLDERFIND, chain $depth deep" "$r" "$wall" "$cpu" "$(kib "$peak")")")
        done
        dirMedian[$depth]=$(median "${dirWalls[@]}")
        findMedian[$depth]=$(median "${findWalls[@]}")
        echo "bench: chain $depth: DIR /sub $(lines_of "$work/walk-dir-$depth-report.txt" | grep -c '^qfwalk.txt' || true) files," \
            "FILEFIND + FOLDERFIND $(lines_of "$work/walk-find-$depth-report.txt" | grep -c '^C:' || true) lines" >&2
        mv "$drive/qfwalk" "$walkParked/chain$depth"
    done
    local what ratio
    for what in dir find; do
        local -n medians="${what}Median"
        local label="DIR /sub" && [ "$what" = find ] && label="FILEFIND + FOLDERFIND"
        row "$label of a chain 500 deep (median of $rounds)" "$(printf '%.2f s' "${medians[500]}")" "-" "" "" "" ""
        row "$label of a chain 1,000 deep (median of $rounds)" "$(printf '%.2f s' "${medians[1000]}")" "-" "" "" "" ""
        ratio=$(echo "${medians[1000]} / ${medians[500]}" | bc -l)
        row "growth: $label, chain 1,000 / 500 deep" "$(printf '%.2f s' "${medians[1000]}")" \
            "$(printf '%.2f s (500)' "${medians[500]}")" "$(printf '%.2f' "$ratio")" "" "<= 4.5" "$(verdict "$ratio" "<= 4.5")"
    done
}

# A chain of single sub-keys as deep as the registry allows (512 levels: the chain's base lies 3 below
# the hive) and a comb (a chain whose every key also has a leaf), each with a value per key. Under
# HKCU, so that the big tree's rows never see them.
chainBase='HKEY_CURRENT_USER\Software\QfChains'
gen_chains() {
    awk -v base="$chainBase" 'BEGIN {
        print "REGEDIT4"; print ""
        k = base "\\Chain"
        for (d = 0; d < 509; d++) { k = k "\\d"; printf "[%s]\n\"Level\"=\"%d\"\n\n", k, d }
        k = base "\\Comb"
        for (d = 0; d < 254; d++) {
            printf "[%s\\leaf]\n\"Level\"=\"%d\"\n\n", k, d
            k = k "\\c"; printf "[%s]\n\"Level\"=\"%d\"\n\n", k, d
        }
    }'
}

bench_chains() {
    if [ ! -f "$bench/chains.done" ]; then
        gen_chains >"$work/chains.reg"
        wine "$regedit" /S "$(winpath "$work/chains.reg")" </dev/null >/dev/null 2>&1
        touch "$bench/chains.done"
    fi
    local shape
    for shape in Chain Comb; do
        script "reg-$shape" REG "$chainBase\\$shape /s"
        eval "our_$shape() { quill reg-$shape; }"
        eval "peer_$shape() { measure wine \"\$regedit\" /E \"\$(winpath \"\$work/export-$shape.reg\")\" '$chainBase\\$shape'; }"
    done
    pair "REG /s of a chain 512 keys deep vs regedit /E" "<= 1.5" our_Chain peer_Chain
    pair "REG /s of a comb 257 keys deep (a leaf on each) vs regedit /E" "<= 1.5" our_Comb peer_Comb
    echo "bench: REG /s wrote $(lines_of "$work/reg-Chain-report.txt" | grep -c '^\[' || true) and" \
        "$(lines_of "$work/reg-Comb-report.txt" | grep -c '^\[' || true) key headers" >&2
}

# One CPU-bound process per core while COMMAND... runs.
beside_busy_cores() {
    local busy=() i
    for ((i = 0; i < $(nproc); i++)); do
        sh -c 'while :; do :; done' &
        busy+=($!)
    done
    "$@"
    kill "${busy[@]}" 2>/dev/null
    wait "${busy[@]}" 2>/dev/null || true
}

# The default against --threads 1 on a small machine (held to one core) and on a busy one; the same
# report both ways.
bench_threads() {
    local what
    for what in reg filefind; do
        eval "default_$what() { quill $what; }"
        eval "one_$what() { cp \"\$work/$what-report.txt\" \"\$work/$what-default.txt\"; quill $what --threads 1; }"
    done
    local label_reg="REG /s of 20,000 keys" label_filefind="FILEFIND of 20,000 files"
    for what in reg filefind; do
        local label="label_$what"
        held="taskset -c 0"
        pair "${!label}, held to one core: default vs --threads 1" "<= 1.05" "default_$what" "one_$what"
        held=""
        beside_busy_cores pair "${!label}, one busy process per core: default vs --threads 1" "<= 1.05" \
            "default_$what" "one_$what"
        # Only the header's creation line may differ.
        cmp -s <(lines_of "$work/$what-default.txt" | tail -n +3) <(lines_of "$work/$what-report.txt" | tail -n +3) ||
            echo "bench: the $what report with --threads 1 differs from the default one" >&2
    done
}

# The two smaller trees, side by side in a prefix of their own made afresh: 20,000 keys (100 groups of
# 200) and 20,000 files (200 folders of 100). The big prefix's server is ended first.
bench_small() {
    wineserver -k >/dev/null 2>&1 || true
    bench="$root/build/x64/bench-small"
    rm -rf "$bench"
    export WINEPREFIX="$bench/prefix" HOME="$bench/home"
    drive="$WINEPREFIX/drive_c" work="$bench/work" parked="$bench/parked"
    regTop=100 regKids=199 dirTop=200 dirKids=0 filesPerDir=100
    keysLabel="20,000 keys, fresh prefix" filesLabel="20,000 files, fresh prefix" small=1
    local saved=("${selected[@]}")
    selected=(reg filefind)
    setup
    selected=("${saved[@]}")
    bench_reg
    bench_filefind
    bench_threads
}

# --- Main -----------------------------------------------------------------------------------------

[ -n "${BENCH_CLI:-}" ] || cmake --build --preset x64 -j2 --target quillfen-cli >/dev/null
setup
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Counted before the small trees' prefix takes over.
prefixFiles=$(find "$drive" -path "$drive/$treeName" -prune -o -type f -print | wc -l)
prefixFolders=$(find "$drive" -path "$drive/$treeName" -prune -o -type d -print | wc -l)

echo "bench: $rounds rounds each" >&2
printf '%-56s %10s %10s %6s %6s %7s  %s\n' figure ours peer ratio "(cpu)" target "" >&2
for name in "${selected[@]}"; do
    case "$name" in
        file | folderfind | filefind | regfind | reg | contents | deep | walk | chains | small) "bench_$name" ;;
        *) echo "bench: no benchmark named $name (known: ${all[*]})" >&2; exit 2 ;;
    esac
done

load=$(cut -d' ' -f1-3 /proc/loadavg)
table() {
    echo "# Benchmark results"
    echo
    echo "Written by \`scripts/bench\` ($(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$root" rev-parse --short HEAD))."
    echo "Machine: $(nproc) cores, shared with other jobs (load average $load when the run ended);"
    echo "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo), Wine $(wine --version 2>/dev/null | sed 's/^wine-//')."
    echo "Each figure is the median wall time of $rounds rounds; a round runs our side, then the peer. The"
    echo "ratio (ours / peer) is of those medians and decides the verdict; the CPU ratio is that of the"
    echo "median CPU times (user + system of the process tree and of the prefix's wineserver)."
    echo "FILEFIND and FOLDERFIND search the whole drive C: of the benchmark's prefix: the prefix's own"
    echo "$prefixFiles files and $prefixFolders folders are searched as well as the generated tree."
    echo
    echo "| figure | ours | peer | ratio | CPU ratio | target | |"
    echo "|---|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "Every round (CPU: user + system time of the process tree plus the prefix's wineserver;"
    echo "peak: VmHWM of the process that runs the program):"
    echo
    echo "| figure | round | side | wall s | CPU s | peak |"
    echo "|---|---|---|---|---|---|"
    printf '%s\n' "${details[@]}"
    if [ -f "$root/bench/notes.md" ]; then
        echo
        cat "$root/bench/notes.md"
    fi
}
if [ $# -eq 0 ]; then
    table >"$results"
    echo "bench: table written to bench/results.md" >&2
fi
table
