#!/bin/bash
# The scan benchmark: system calls per file, cold and warm counts against reading the files,
# and the window's scanner over a generated Windows-like tree with and without the scan index
# (cold also over the same tree made of distinct files).
#
#   bench/scan/run.sh BUILD_FOLDER [FILES_IN_TREE]
#
# The PE corpus is every PE file of the wine, nsis and clamav-testfiles packages that is
# installed; the cold-cache rows need root (caches are dropped between runs) and are skipped
# with a message otherwise. Prints "name: value" lines and a table for bench/RESULTS.md.
set -u -o pipefail
BUILD=${1:?usage: bench/scan/run.sh BUILD_FOLDER [FILES_IN_TREE]}
FILES=${2:-100000}
TOOL="$BUILD/tools/glyptor-icons/glyptor-icons"
DRIVER="$BUILD/bench/scan/scan_driver"
FLOOR="$BUILD/bench/scan/scan_floor"
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d /var/tmp/glyptor-scanbench-XXXXXX)
SLOW_CG=
trap 'rm -rf "$WORK"; [ -n "$SLOW_CG" ] && rmdir "$SLOW_CG" 2>/dev/null' EXIT
export XDG_CACHE_HOME="$WORK/cache"
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

for d in /usr/lib/x86_64-linux-gnu/wine /usr/share/nsis /usr/share/clamav-testfiles; do
    [ -d "$d" ] && find "$d" -type f
done | while IFS= read -r f; do [ "$(head -c2 "$f" 2>/dev/null | tr -d '\0')" = MZ ] && echo "$f"; done >"$WORK/pe.list"
PE=$(wc -l <"$WORK/pe.list")
if [ "$PE" -eq 0 ]; then
    echo "scan bench: no PE corpus installed (apt-get install wine nsis clamav-testfiles); skipped"
    exit 0
fi
BYTES=$(tr '\n' '\0' <"$WORK/pe.list" | xargs -0 stat -L -c %s | awk '{s+=$1} END {print s}')
# One folder of links to the corpus, for the folder walk.
mkdir "$WORK/pe"
n=0
while IFS= read -r f; do n=$((n + 1)); ln "$f" "$WORK/pe/$n-$(basename "$f")" 2>/dev/null || cp "$f" "$WORK/pe/$n-$(basename "$f")"; done <"$WORK/pe.list"
echo "machine: $(nproc) cores, $(uname -r), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "corpus: $PE PE files, $((BYTES / 1048576)) MB"

calls() { # total system calls of a command, per file
    # Run with only the standard descriptors open, as from a terminal: one that the bench's
    # caller left open would split the tool's runs of descriptors that are closed together.
    (
        for fd in /proc/$BASHPID/fd/*; do
            n=${fd##*/}
            [ "$n" -gt 2 ] && eval "exec $n>&-"
        done
        exec strace -f -c -o "$WORK/strace" "$@" >/dev/null
    )
    awk -v n="$PE" '/ total$/ {print $(NF-2) / n} ' "$WORK/strace"
}
futex() { awk -v n="$PE" '$NF=="futex" {print $4 / n}' "$WORK/strace"; }
if command -v strace >/dev/null; then
    echo "syscalls per file, count -j 1 -r FOLDER: $(calls "$TOOL" count -j 1 -r -a "$WORK/pe") (futex $(futex))"
    echo "syscalls per file, count -j 1 - (path list): $(calls "$TOOL" count -j 1 - <"$WORK/pe.list") (futex $(futex))"
else
    echo "syscalls: strace missing; skipped"
fi

# Seconds and disk bytes of a command (the bytes its block input fetched, from wait4).
measure() {
    python3 - "$@" <<'PY'
import os, shutil, sys, time
# posix_spawn (a vfork underneath) rather than fork: copying the interpreter's page tables would
# add milliseconds to a command that takes ten.
stdin = None
args = sys.argv[1:]
if args[0] == '<':
    stdin, args = args[1], args[2:]
actions = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]
if stdin:
    actions.append((os.POSIX_SPAWN_OPEN, 0, stdin, os.O_RDONLY, 0))
program = shutil.which(args[0]) or args[0]
t = time.monotonic()
pid = os.posix_spawn(program, args, os.environ, file_actions=actions)
_, status, usage = os.wait4(pid, 0)
print('%.4f %d' % (time.monotonic() - t, usage.ru_inblock * 512))
PY
}
# Drops the caches, then loads the programs again: what a cold run reads should be the files,
# not the 17 MB of the tool and its libraries. "drop 1" drops the page cache only (file contents,
# folder and inode blocks) and keeps the kernel's names and inodes in memory, as a machine that
# has been busy with other files since the last scan would; the default drops those too, as a
# reboot does.
drop() {
    sync
    echo "${1:-3}" >/proc/sys/vm/drop_caches
    "$TOOL" --help >/dev/null
    xargs cat </dev/null >/dev/null
    python3 -c '' </dev/null
    # The scanner runs in a program that is already up: a scan of an empty folder, with an index
    # of its own, brings in the driver, Qt and the index's library.
    if [ -x "$DRIVER" ]; then
        mkdir -p "$WORK/empty"
        XDG_CACHE_HOME="$WORK/empty-cache" "$DRIVER" "$WORK/empty" >/dev/null 2>&1
    fi
}
if [ "$(id -u)" = 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
    # The best of three cold runs each, taking turns: one cold count waits on a few hundred
    # scattered reads, and a spell of a slow virtual disk doubles its time.
    : >"$WORK/cold-cat" && : >"$WORK/cold-count"
    for _ in 1 2 3; do
        drop; measure xargs -a "$WORK/pe.list" -d '\n' cat >>"$WORK/cold-cat"
        drop; measure '<' "$WORK/pe.list" "$TOOL" count - >>"$WORK/cold-count"
    done
    echo "cold rounds: count $(cut -d' ' -f1 "$WORK/cold-count" | paste -sd' ') s; cat $(cut -d' ' -f1 "$WORK/cold-cat" | paste -sd' ') s"
    read -r cat_s cat_b < <(sort -n "$WORK/cold-cat" | head -1)
    read -r cnt_s cnt_b < <(sort -n "$WORK/cold-count" | head -1)
    echo "cold (best of 3): count $cnt_s s, $cnt_b disk bytes ($(awk -v b="$cnt_b" -v t="$BYTES" 'BEGIN{printf "%.2f", 100*b/t}') % of the files); cat $cat_s s, $cat_b bytes; count is $(awk -v a="$cat_s" -v b="$cnt_s" 'BEGIN{printf "%.1f", a/b}')x faster"
else
    echo "cold: not root or caches cannot be dropped; skipped"
fi
# Warm runs take the best of 21: a run on a shared machine is only ever slowed down. The
# corpus's count takes a few milliseconds, as long as a turn of the scheduler on a busy machine,
# so it and its peer are taken many times, in turns: one after the other, a spell of a slow
# machine met the count's 21 runs and not the peer's. The medians show how far the noise reaches.
# The floor is the same files' bare system calls on as many threads as the count has readers
# (scan_floor): how much of the count's time is the machine's rather than the program's.
xargs -a "$WORK/pe.list" -d '\n' cat >/dev/null
: >"$WORK/warm-cat" && : >"$WORK/warm-count" && : >"$WORK/warm-count1" && : >"$WORK/warm-floor"
for _ in $(seq 21); do
    measure xargs -a "$WORK/pe.list" -d '\n' cat | cut -d' ' -f1 >>"$WORK/warm-cat"
    measure '<' "$WORK/pe.list" "$TOOL" count - | cut -d' ' -f1 >>"$WORK/warm-count"
    measure '<' "$WORK/pe.list" "$TOOL" count -j 1 - | cut -d' ' -f1 >>"$WORK/warm-count1"
    [ -x "$FLOOR" ] && measure '<' "$WORK/pe.list" "$FLOOR" | cut -d' ' -f1 >>"$WORK/warm-floor"
done
# "BEST MEDIAN" of the times in a file.
best_median() { sort -n "$1" | awk '{t[NR] = $1} END {print t[1], t[int((NR + 1) / 2)]}'; }
read -r wcat_s wcat_m < <(best_median "$WORK/warm-cat")
read -r wcnt_s wcnt_m < <(best_median "$WORK/warm-count")
read -r wcnt1_s _ < <(best_median "$WORK/warm-count1")
echo "warm (best of 21): count $wcnt_s s (-j 1: $wcnt1_s s), cat $wcat_s s; count is $(awk -v a="$wcat_s" -v b="$wcnt_s" 'BEGIN{printf "%.1f", a/b}')x faster (medians: count $wcnt_m s, cat $wcat_m s, $(awk -v a="$wcat_m" -v b="$wcnt_m" 'BEGIN{printf "%.1f", a/b}')x)"
if [ -s "$WORK/warm-floor" ]; then
    read -r wfl_s _ < <(best_median "$WORK/warm-floor")
    echo "warm floor (best of 21): the same files' bare system calls $wfl_s s, $(awk -v a="$wcat_s" -v b="$wfl_s" 'BEGIN{printf "%.1f", a/b}')x faster than cat; the count takes $(awk -v a="$wcnt_s" -v b="$wfl_s" 'BEGIN{printf "%.2f", a/b}')x the floor's time"
fi

# The cold scans once more on a slow disk: the block layer lets the scanner's reads of the disk
# holding the tree through at SLOW_IOPS a second (1,000 by default, a USB stick's random reads;
# a USB hard disk manages 100 to 200), so that a read costs what it costs on such a device
# instead of this machine's tenth of a millisecond. The tree is smaller (SLOW_FILES, 20,000 by
# default) to keep the first scan within a minute. Needs root and a blkio or io cgroup
# controller; skipped with a message otherwise.
slow_disk() {
    local iops=${SLOW_IOPS:-1000} files=${SLOW_FILES:-20000} dev cg limit
    dev=$(findmnt -no MAJ:MIN -T "$WORK" | xargs)
    # Throttles apply to whole disks: a partition's disk is its parent.
    local parent
    parent=$(lsblk -no PKNAME "/dev/block/$dev" 2>/dev/null | head -1 | xargs)
    [ -n "$parent" ] && dev=$(lsblk -dno MAJ:MIN "/dev/$parent" | xargs)
    if [ -d /sys/fs/cgroup/blkio ]; then
        cg=/sys/fs/cgroup/blkio/glyptor-slow-$$ limit="$cg/blkio.throttle.read_iops_device"
        mkdir "$cg" 2>/dev/null && echo "$dev $iops" >"$limit" 2>/dev/null || cg=
    elif [ -f /sys/fs/cgroup/cgroup.controllers ] && grep -qw io /sys/fs/cgroup/cgroup.controllers; then
        cg=/sys/fs/cgroup/glyptor-slow-$$ limit="$cg/io.max"
        mkdir "$cg" 2>/dev/null && echo "$dev riops=$iops" >"$limit" 2>/dev/null || cg=
    fi
    SLOW_CG=$cg
    if [ -z "$cg" ] || [ -z "$dev" ]; then
        [ -n "$cg" ] && rmdir "$cg"
        echo "slow disk: no block-layer throttle here (cgroup blkio or io); skipped"
        return
    fi
    python3 "$HERE/make-tree.py" "$WORK/slow" "$files" "$WORK/pe.list" --distinct >/dev/null
    throttled() { (echo "$BASHPID" >"$cg/cgroup.procs" && TREE="$WORK/slow" scan); }
    rm -rf "$XDG_CACHE_HOME"; drop
    local sfirst scold
    sfirst=$(throttled)
    drop
    scold=$(throttled)
    rm -rf "$WORK/slow"
    rmdir "$cg" && SLOW_CG=
    echo "tree of $files distinct files cold, disk reads limited to $iops a second: first scan $sfirst s, re-scan with the index $scold s ($(awk -v a="$sfirst" -v b="$scold" 'BEGIN{printf "%.1f", a/b}')x faster)"
}

if [ -x "$DRIVER" ]; then
    python3 "$HERE/make-tree.py" "$WORK/tree" "$FILES" "$WORK/pe.list" >/dev/null
    "$TOOL" count -j 1 -r -a "$WORK/tree" >/dev/null # warm the tree
    # The scanner's wall time (and, kept aside, its processor time) for one scan of the tree.
    scan() {
        "$DRIVER" "${TREE:-$WORK/tree}" "$@" 2>"$WORK/processor" |
            sed -nE 's/.* in ([0-9.]+) s/\1/p'
    }
    processor() { sed -nE 's/^processor: //p' "$WORK/processor"; }
    # The count and both scans take the best of nine: a scan of a second or less often loses
    # a tenth of it to the machine's other work, and a re-scan of a quarter second as much as a
    # third. They take turns, a count, a first scan from an empty index and a re-scan, so that
    # the three sets of runs meet the same spells of a busy machine. The medians show how far
    # the noise reaches.
    : >"$WORK/count" && : >"$WORK/first" && : >"$WORK/warm" && : >"$WORK/warm-processor"
    for _ in $(seq 9); do
        measure "$TOOL" count -j 1 -r -a "$WORK/tree" | cut -d' ' -f1 >>"$WORK/count"
        rm -rf "$XDG_CACHE_HOME"
        scan >>"$WORK/first"
        scan >>"$WORK/warm"
        processor >>"$WORK/warm-processor"
    done
    read -r tc_s tc_m < <(best_median "$WORK/count")
    read -r first first_m < <(best_median "$WORK/first")
    read -r warm warm_m < <(best_median "$WORK/warm")
    echo "tree of $FILES files (best of 9): count -j 1 -r $tc_s s; scanner first scan $first s ($(awk -v a="$first" -v b="$tc_s" 'BEGIN{printf "%.2f", a/b}')x the count), re-scan with the index warm $warm s ($(awk -v a="$first" -v b="$warm" 'BEGIN{printf "%.1f", a/b}')x faster; medians: count $tc_m s, first scan $first_m s ($(awk -v a="$first_m" -v b="$tc_m" 'BEGIN{printf "%.2f", a/b}')x), re-scan $warm_m s ($(awk -v a="$first_m" -v b="$warm_m" 'BEGIN{printf "%.1f", a/b}')x); processor of the re-scans: $(paste -sd"|" "$WORK/warm-processor" | sed "s/|/; /g"))"
    # Folding repeats fingerprints every icon while counting: both scans read every file.
    unfolded=$(for _ in 1 2 3; do scan --no-index; done | sort -n | head -1)
    folded=$(for _ in 1 2 3; do scan --no-index --fold; done | sort -n | head -1)
    echo "tree folded (best of 3): scan with repeats folded $folded s against $unfolded s unfolded, without the index ($(awk -v a="$folded" -v b="$unfolded" 'BEGIN{printf "%.2f", a/b}')x the time)"
    if [ "$(id -u)" = 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
        # A first scan and a re-scan, both after dropping the caches at LEVEL; prints the row.
        cold_pair() {
            local name=$1 level=$2 first re
            rm -rf "$XDG_CACHE_HOME"; drop "$level"
            first=$(scan)
            drop "$level"
            re=$(scan)
            echo "$name: first scan $first s, re-scan with the index $re s ($(awk -v a="$first" -v b="$re" 'BEGIN{printf "%.1f", a/b}')x faster)"
        }
        cold_pair "tree of links cold" 3
        cold_pair "tree of links cold, names and inodes kept" 1
        # The same tree with every file a file of its own (holes where a count reads nothing),
        # as on a real partition: there a cold first scan reads each file's headers apart.
        python3 "$HERE/make-tree.py" "$WORK/distinct" "$FILES" "$WORK/pe.list" --distinct >/dev/null
        TREE="$WORK/distinct" cold_pair "tree of distinct files cold" 3
        TREE="$WORK/distinct" cold_pair "tree of distinct files cold, names and inodes kept" 1
        rm -rf "$WORK/distinct"
        slow_disk
    fi
fi
