#!/usr/bin/env bash
# Builds the MD5 core of util/md5.cpp for Linux (g++ -O2) with bench/md5_core_bench.cpp and runs it,
# beside openssl and md5sum on the same file. Only the portable part of util/md5.cpp is taken: the
# Windows includes and the file reader (MD5File and what follows) are left out. Needs OpenSSL's
# headers (libssl-dev) for the in-process comparison.
#   bench/md5_core.sh FILE [ROUNDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
file="${1:?usage: bench/md5_core.sh FILE [ROUNDS]}"
rounds="${2:-5}"
out="$root/build/md5-core"
mkdir -p "$out"
sed -e '/#include <windows.h>/d' -e '/#include "util\/handles.h"/d' -e '/#include "util\/owned.h"/d' \
    -e 's/constexpr DWORD kReadSize/constexpr unsigned kReadSize/' -e '/^wchar_t\* MD5File/,$d' \
    "$root/util/md5.cpp" >"$out/md5_core.cpp"
g++ -std=c++20 -O2 -I"$root" -o "$out/md5_core_bench" "$out/md5_core.cpp" "$root/bench/md5_core_bench.cpp" -lcrypto

best() {  # best ROUNDS COMMAND...: the least wall time and the least CPU time (user + system) of the rounds
    local n="$1" wall=999999 cpu=999999 w c
    shift
    for ((i = 0; i < n; i++)); do
        /usr/bin/time -f '%e %U %S' -o "$out/time.txt" "$@" >/dev/null 2>&1
        read -r w u s <"$out/time.txt"
        c=$(echo "$u + $s" | bc -l)
        wall=$(echo "if ($w < $wall) $w else $wall" | bc -l)
        cpu=$(echo "if ($c < $cpu) $c else $cpu" | bc -l)
    done
    printf 'wall %.2f s, CPU %.2f s' "$wall" "$cpu"
}
cat "$file" >/dev/null  # page cache warm for every side
"$out/md5_core_bench" "$file"
"$out/md5_core_bench" --mem 8 60
echo "best of $rounds rounds:"
echo "  ours (Linux -O2)    $(best "$rounds" "$out/md5_core_bench" "$file")"
echo "  openssl dgst -md5   $(best "$rounds" openssl dgst -md5 "$file")"
echo "  md5sum              $(best "$rounds" md5sum "$file")"
