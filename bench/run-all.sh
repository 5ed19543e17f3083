#!/bin/bash
# Runs every benchmark of a build folder and prints one table of ratios against the peers each
# benchmark measures in the same run: the icon count against reading whole files, the scanner
# against the icon source alone (and the grid's memory per record and paint time), Inflate and
# Deflate against zlib. Builds nothing: `make bench` builds first and then calls this.
#
#   bench/run-all.sh BUILD_FOLDER
#
# Each benchmark's full output is kept in BUILD_FOLDER/bench/logs/. The exit status is 1 when a
# benchmark failed or printed none of the summary lines the table is made of.
set -u -o pipefail

BUILD=${1:?usage: bench/run-all.sh BUILD_FOLDER}
LOGS="$BUILD/bench/logs"
mkdir -p "$LOGS"

# The known benchmarks in the order of the table, then any others in name order.
ORDER=(bench_icons bench_browser bench_inflate bench_deflate)
shopt -s nullglob
benches=()
for known in "${ORDER[@]}"; do
    for candidate in "$BUILD"/bench/*/"$known"; do
        [ -f "$candidate" ] && [ -x "$candidate" ] && benches+=("$candidate")
    done
done
for candidate in "$BUILD"/bench/*/bench_*; do
    [[ " ${ORDER[*]} " == *" $(basename "$candidate") "* ]] && continue
    [ -f "$candidate" ] && [ -x "$candidate" ] && benches+=("$candidate")
done
if [ ${#benches[@]} -eq 0 ]; then
    echo "no benchmarks under $BUILD/bench (build them first: make bench)" >&2
    exit 1
fi

# The summary lines each benchmark prints after Google Benchmark's own table, turned into rows
# "benchmark|case|ratio|details".
rows_of() {
    local name=$1 log=$2
    case $name in
    bench_icons)
        sed -nE 's/^(.*) \(([0-9]+) files\): count ([0-9.]+) files\/s, whole read ([0-9.]+) files\/s, count is ([0-9.]+)x faster \(CPU ([0-9.]+)x\)$/icon count against reading the whole file|\1 (\2 files)|\5x faster (CPU \6x)|count \3 files\/s, whole read \4 files\/s/p' "$log"
        ;;
    bench_browser)
        sed -nE 's/^scanner: ([0-9]+) files in ([0-9.]+) s against ([0-9.]+) s for the icon source alone: ratio ([0-9.]+) \(target at most ([0-9.]+)\)$/scanner against the icon source alone|folder of \1 files|\4x the time (target at most \5x)|\2 s against \3 s/p' "$log"
        sed -nE 's/^scanner with repeats folded: ([0-9.]+) s against ([0-9.]+) s unfolded, best of ([0-9]+) in turns .*: ratio ([0-9.]+) \(target at most ([0-9.]+)\)$/scanner with repeats folded against unfolded|folder of 3000 files|\4x the time (target at most \5x)|\1 s against \2 s, best of \3 in turns/p' "$log"
        sed -nE 's/^grid: ([0-9.]+) bytes per record \(resident size, ([0-9]+) records\)$/grid memory per record|\2 records|\1 bytes|resident size growth divided by the records/p' "$log"
        sed -nE 's/^grid at zoom ([0-9]+): ([0-9.]+) bytes per record .*; one screen \(([0-9]+) cells\) painted in ([0-9.]+) ms.*$/grid at zoom \1|1000000 records, one screen of \3 cells|\2 bytes a record, paint \4 ms (target under 70 bytes, 5 ms)|resident size with the screen'"'"'s pictures; mean paint with cached pictures/p' "$log"
        sed -nE 's/^zooming on ([0-9]+) icons in a ([0-9x]+) grid: longest step ([0-9.]+) ms \(target under ([0-9]+) ms\), at most ([0-9]+) pictures held$/zooming through every size|\1 icons, \2 grid|longest step \3 ms (target under \4 ms)|at most \5 pictures held/p' "$log"
        ;;
    bench_inflate)
        sed -nE "s/^Inflate ([^ :]+) *: ([0-9.]+) x zlib's throughput \((.*)\)$/Inflate against zlib|\1|\2x zlib's speed|\3/p" "$log"
        ;;
    bench_deflate)
        sed -nE "s/^Deflate ([^ ]+) +level ([0-9]+): size ([0-9.]+) x zlib's \(([0-9]+) vs ([0-9]+) bytes of ([0-9.]+) MB\), speed ([0-9.]+) x zlib's$/Deflate against zlib|\1, level \2|size \3x, speed \7x zlib's|\4 against \5 bytes from \6 MB/p" "$log"
        ;;
    *)
        # A benchmark this table does not know yet: its ratio lines as they are.
        grep -E "ratio| x |faster" "$log" | grep -v -E '^(BM_|-|Benchmark)' |
            sed "s/^/$name|summary|see line|/"
        ;;
    esac
}

# Whatever a benchmark caches (the scan index) goes with the run, not into the user's cache.
CACHE=$(mktemp -d)
trap 'rm -rf "$CACHE"' EXIT
export XDG_CACHE_HOME=$CACHE

status=0
table=()
for bench in "${benches[@]}"; do
    name=$(basename "$bench")
    log="$LOGS/$name.log"
    echo "running $name ..." >&2
    start=$SECONDS
    # The benchmarks' own reporters colour their tables whatever the flags say; the escapes
    # would hide the first summary line from the patterns below.
    (cd "$(dirname "$bench")" && "./$name" --benchmark_color=false) 2>&1 |
        sed 's/\x1b\[[0-9;]*m//g' >"$log"
    code=$?
    seconds=$((SECONDS - start))
    if [ $code -ne 0 ]; then
        table+=("$name|FAILED|exit status $code|see $log")
        status=1
        continue
    fi
    mapfile -t rows < <(rows_of "$name" "$log")
    if [ ${#rows[@]} -eq 0 ]; then
        table+=("$name|no summary line|-|see $log")
        status=1
        continue
    fi
    for row in "${rows[@]}"; do
        table+=("$row")
    done
    echo "  done in ${seconds} s" >&2
done

# The scan benchmark is a script (it needs strace, a generated tree and, for its cold rows, root);
# GLYPTOR_SCAN_FILES sets the size of its tree.
SCAN="$(dirname "$0")/scan/run.sh"
if [ -x "$BUILD/bench/scan/scan_driver" ] && [ -f "$SCAN" ]; then
    log="$LOGS/scan.log"
    echo "running bench/scan/run.sh ..." >&2
    if bash "$SCAN" "$BUILD" "${GLYPTOR_SCAN_FILES:-100000}" >"$log" 2>&1; then
        mapfile -t rows < <(grep -E '^(syscalls|cold|warm|tree)' "$log" |
            sed -E 's/^([^:]+): (.*)$/scan|\1|\2|see the script/')
        if [ ${#rows[@]} -eq 0 ]; then
            table+=("scan|no summary line|-|see $log")
            status=1
        fi
        for row in "${rows[@]}"; do
            table+=("$row")
        done
    else
        table+=("scan|FAILED|-|see $log")
        status=1
    fi
fi

model=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)
echo
echo "Benchmarks of $BUILD on $(date -u '+%Y-%m-%d %H:%M UTC'): ${model:-unknown CPU}, $(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Benchmark | Case | Glyptor against its peer | Details |"
echo "|---|---|---|---|"
for row in "${table[@]}"; do
    echo "| ${row//|/ | } |"
done
echo
echo "Full outputs: $LOGS"
exit $status
