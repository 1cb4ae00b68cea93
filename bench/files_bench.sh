#!/usr/bin/env bash
# Benchmarks of the file directives, run by hand (not part of ctest):
#   - MD5 throughput: the FILE directive on a 1 GiB file under Wine against md5sum natively;
#   - FILEFIND and FOLDERFIND over a generated tree of 200,000 files in 20,000 folders against the
#     same over a quarter of it (50,000 files in 5,000 folders): linear growth means about 4x.
# Uses a Wine prefix of its own under build/bench (never ~/.wine) and build/x64/quillfen-cli.exe.
#   bench/files_bench.sh            (build first: cmake --preset x64 && cmake --build --preset x64 -j2)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$root/build/x64/quillfen-cli.exe"
[ -f "$cli" ] || { echo "build first: $cli is missing" >&2; exit 2; }
work="$root/build/bench"
mkdir -p "$work/home"
export WINEPREFIX="$work/prefix" HOME="$work/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drive="$WINEPREFIX/drive_c"

if [ ! -d "$drive/windows" ]; then
    echo "bench: creating the Wine prefix" >&2
    wine wineboot -i </dev/null >/dev/null 2>&1
fi
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1

# Trees are made on the Linux side (fast) and moved into drive C: one at a time.
make_tree() {  # make_tree DIR TOP_FOLDERS: TOP_FOLDERS x (1 + 99) folders, 10 files in each
    [ -d "$1" ] && return 0
    python3 - "$1" "$2" <<'PY'
import os, sys
base, tops = sys.argv[1], int(sys.argv[2])
n = 0
for t in range(tops):
    for s in range(100):
        folder = os.path.join(base, "t%03d" % t) if s == 0 else os.path.join(base, "t%03d" % t, "s%02d" % s)
        os.makedirs(folder, exist_ok=True)
        for f in range(10):
            n += 1
            name = "needle%06d.dat" % n if n % 1000 == 0 else "f%06d.txt" % n
            with open(os.path.join(folder, name), "wb") as out:
                out.write(b"x" * (n % 97))
PY
}
make_tree "$work/tree-full" 200     # 20,000 folders, 200,000 files
make_tree "$work/tree-quarter" 50   #  5,000 folders,  50,000 files
[ -f "$work/big.bin" ] || head -c 1073741824 /dev/urandom >"$work/big.bin"

# best_of3 COMMAND...: the shortest of three wall times (the machine is shared; noise only adds).
best_of3() {
    local best="" t
    for _ in 1 2 3; do
        t=$("$@")
        best=$(python3 -c "import sys; a=[float(x) for x in sys.argv[1:] if x]; print('%.2f' % min(a))" $best $t)
    done
    echo "$best"
}

native_md5() {
    local start end
    start=$(seconds); md5sum "$1" >/dev/null; end=$(seconds)
    python3 -c "print('%.2f' % ($end - $start))"
}

seconds() { python3 -c 'import time; print("%.3f" % time.monotonic())'; }

# run_script NAME TEXT: runs a script through the console front end, prints the wall time in seconds.
run_script() {
    printf '%s\r\n' "$2" >"$work/$1.txt"
    local start end
    start=$(seconds)
    wine "$cli" --out "Z:${work//\//\\}\\$1.report" "Z:${work//\//\\}\\$1.txt" </dev/null >/dev/null 2>&1
    end=$(seconds)
    python3 -c "print('%.2f' % ($end - $start))"
}

echo "== MD5 of a 1 GiB file (wall seconds; Wine start-up measured on an empty file and subtracted)"
cp -f "$work/big.bin" "$drive/big.bin"
: >"$drive/empty.bin"
cat "$drive/big.bin" >/dev/null
md5sum "$drive/big.bin" >/dev/null
native=$(best_of3 native_md5 "$drive/big.bin")
startup=$(best_of3 run_script empty $':FILE\r\nC:\\empty.bin')
quill=$(best_of3 run_script big $':FILE\r\nC:\\big.bin')
python3 - "$native" "$quill" "$startup" <<'PY'
import sys
native, quill, startup = map(float, sys.argv[1:])
mib = 1024.0
print("md5sum (native)          %6.2f s  %7.1f MiB/s" % (native, mib / native))
print("FILE under Wine          %6.2f s  (start-up %.2f s)" % (quill, startup))
print("FILE less start-up       %6.2f s  %7.1f MiB/s  = %.0f%% of md5sum" %
      (quill - startup, mib / (quill - startup), 100.0 * native / (quill - startup)))
PY
rm -f "$drive/big.bin" "$drive/empty.bin"

echo "== Whole-drive searches (wall seconds, including Wine start-up)"
declare -A results
for tree in quarter full; do
    rm -rf "$drive/qfbench"
    mv "$work/tree-$tree" "$drive/qfbench"
    run_script warm $':FOLDERFIND\r\nnothing-matches-this' >/dev/null
    results[$tree,filefind]=$(run_script ff $':FILEFIND\r\nneedle*.dat')
    results[$tree,folderfind]=$(run_script fo $':FOLDERFIND\r\ns5*')
    results[$tree,allfolders]=$(run_script fa $':FOLDERFIND\r\n*')
    results[$tree,nofolders]=$(run_script fn $':FOLDERFIND\r\nnothing-matches-this')
    mv "$drive/qfbench" "$work/tree-$tree"
done
for kind in filefind folderfind allfolders nofolders; do
    python3 - "$kind" "${results[quarter,$kind]}" "${results[full,$kind]}" <<'PY'
import sys
kind, q, f = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
label = {"filefind": "FILEFIND needle*.dat (200 / 50 matches)",
         "folderfind": "FOLDERFIND s5* (2,000 / 500 matches)",
         "allfolders": "FOLDERFIND * (every folder matches, all sorted)",
         "nofolders": "FOLDERFIND without any match (walk only)"}[kind]
print("%-50s quarter %6.2f s  full %6.2f s  ratio %.2f" % (label, q, f, f / q))
PY
done
wineserver -k >/dev/null 2>&1 || true
