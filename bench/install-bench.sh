#!/bin/bash
# Benchmarks the install flow on a large pack against the package tool and prints the figures:
#   - wall time from the confirmation to "安装成功结束!", measured inside the installer's own code
#     (install_bench.exe under wine64: the real InstallPack, worker, library and FinishInstall);
#   - "packtool extract" of the same entries: packtool.exe under wine64 (like for like; its process start is
#     measured apart and taken off) and the native packtool;
#   - their ratio, and where the install's time goes (decoding alone, the helper library alone, the fixed copies);
#   - the installer's peak memory above its idle state, against the largest entry's compressed plus original size;
#   - the cost of checking every entry before the first change: the same install with the check once (the
#     product's way), without it (each entry checked only as it is extracted) and with it twice, in every round,
#     in a rotating order;
#   - the cost of the install record (the digests of the unpacked entries, the game's originals checked, the record
#     written and read back): the product's install against the same without it, in the same rounds, on a game
#     that needs no kept copies;
#   - the cost of showing the unpack's share done ("Copying... 37%" on the status label, the taskbar button): the
#     product's install against the same without it, in the same rounds and the same rotation.
#
#   bash bench/install-bench.sh
#
# The package holds the entries the install extracts, the game's three originals, which it checks, and the layout
# file of the window it runs in: the demo pack made by make_payload.py at a larger scale (packtool extracts the
# originals and the layout file too: a few kilobytes). The installs run on a private Xvfb display (scripts/xvfb.sh; QV_USE_DISPLAY=1
# uses DISPLAY instead). Neither the install key nor any game folder of the prefix is touched (install_bench keeps
# the game's entry in a scratch key).
# Settings (environment):
#   QV_BUILD_DIR     win64 build folder (default build/win64; configured with the win64 preset when missing)
#   QV_BENCH_WORK    work folder: payload, package and outputs (default build/install-bench)
#   QV_BENCH_SCALE   make_payload.py --scale (default 20: about 250 MB)
#   QV_BENCH_LEVEL   LZO level of the package, 1 or 999 (default 1, as the demo's)
#   QV_BENCH_ROUNDS  measured rounds (default 5); the figures are medians
#   WINEPREFIX       Wine prefix (default build/wineprefix)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="$(realpath -m "${QV_BUILD_DIR:-$ROOT/build/win64}")"
WORK="$(realpath -m "${QV_BENCH_WORK:-$ROOT/build/install-bench}")"
SCALE="${QV_BENCH_SCALE:-20}"
LEVEL="${QV_BENCH_LEVEL:-1}"
ROUNDS="${QV_BENCH_ROUNDS:-5}"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
RUN="$ROOT/scripts/wine64-run.sh"

step() { printf '\n== %s\n' "$*"; }
fail() {
    printf 'install-bench: %s\n' "$*" >&2
    exit 1
}
# The Windows name of an absolute Unix path (Wine's Z: drive).
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Nanoseconds since the epoch.
now() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }

step "building install_bench, packtool and the helper library in $BUILD"
[ -f "$BUILD/CMakeCache.txt" ] || cmake --preset win64 -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j"${QV_JOBS:-2}" --target install_bench packtool savepatch qv_host_tools
BENCH_EXE="$BUILD/bench/install/install_bench.exe"
PACKTOOL_EXE="$BUILD/tools/packtool.exe"
PACKTOOL="$BUILD/host-tools/tools/packtool"
LIBRARY="$BUILD/payload/SavePatch.qvx"
for file in "$BENCH_EXE" "$PACKTOOL_EXE" "$PACKTOOL" "$LIBRARY"; do
    [ -f "$file" ] || fail "$file was not built"
done

step "making the pack at scale $SCALE, LZO level $LEVEL"
PAYLOAD="$WORK/payload"
PACKAGE="$WORK/bench-s$SCALE-l$LEVEL-window.qvp"
if [ "$(cat "$PAYLOAD/.scale" 2>/dev/null)" != "$SCALE" ] || [ "$LIBRARY" -nt "$PAYLOAD/.scale" ]; then
    rm -rf "$PAYLOAD" "$WORK"/bench-*.qvp
    python3 payload/demo/make_payload.py --out "$PAYLOAD" --packtool "$PACKTOOL" --scale "$SCALE" --entry "SavePatch.qvx=$LIBRARY"
    echo "$SCALE" >"$PAYLOAD/.scale"
fi
if [ ! -f "$PACKAGE" ]; then
    # Everything, the game's originals too: the install checks them before its first change.
    "$PACKTOOL" pack --level "$LEVEL" "$PACKAGE" "$PAYLOAD/manifest.txt" >/dev/null
fi
ENTRIES=$("$PACKTOOL" list "$PACKAGE" | wc -l)
PACK_ENTRIES=$("$PACKTOOL" list "$PACKAGE" | LC_ALL=C grep -a -c '^quorvan')
echo "package: $PACKAGE, $(du -m "$PACKAGE" | cut -f1) MB, $ENTRIES entries ($PACK_ENTRIES under quorvan)"

step "preparing Wine ($WINEPREFIX) and a display"
bash scripts/wine-prefix.sh
# shellcheck source=../scripts/xvfb.sh
source scripts/xvfb.sh
xvfb_start || fail "no display"
trap xvfb_stop EXIT
# A server that outlives each program for a while, so that no run pays for its start.
/usr/lib/wine/wineserver -p30 2>/dev/null || true
"$RUN" cmd /c exit >/dev/null 2>&1 || true

GAME="$WORK/game"
OUT_WIN="$WORK/out-packtool-win"
OUT_HOST="$WORK/out-packtool-host"
RESULTS="$WORK/results"
rm -rf "$RESULTS"
mkdir -p "$RESULTS"
clean_outputs() {
    rm -rf "$GAME" "$OUT_WIN" "$OUT_HOST"
    mkdir -p "$GAME"
    : >"$GAME/Shin Sangokumusou 3.exe"
    sync
}
cat "$PACKAGE" >/dev/null  # into the page cache, as a program that has just indexed itself finds it

step "starting a program under wine64 (taken off packtool.exe's time)"
for i in 1 2 3; do
    start=$(now)
    "$RUN" "$PACKTOOL_EXE" >/dev/null 2>&1 || true
    echo "$(($(now) - start))" >>"$RESULTS/wine-start.ns"
done

for round in $(seq "$ROUNDS"); do
    step "round $round of $ROUNDS"
    clean_outputs
    start=$(now)
    "$RUN" "$PACKTOOL_EXE" extract "$(winpath "$PACKAGE")" "$(winpath "$OUT_WIN")" >/dev/null ||
        fail "packtool.exe extract failed"
    echo "$(($(now) - start))" >>"$RESULTS/packtool-win.ns"
    echo "packtool.exe extract: $(seconds "$(tail -1 "$RESULTS/packtool-win.ns")") s"
    sync

    start=$(now)
    "$PACKTOOL" extract "$PACKAGE" "$OUT_HOST" >/dev/null || fail "packtool extract failed"
    echo "$(($(now) - start))" >>"$RESULTS/packtool-host.ns"
    echo "packtool extract (native): $(seconds "$(tail -1 "$RESULTS/packtool-host.ns")") s"
    sync

    [ "$(find "$OUT_WIN" -type f | wc -l)" = "$ENTRIES" ] || fail "packtool.exe did not write every entry"

    # The three ways of checking and the product's way without the unpack's share, starting with a different one
    # each round.
    variants=(once none twice quiet unrecorded)
    for i in 0 1 2 3 4; do
        variant=${variants[$(((i + round) % 5))]}
        mode=$variant
        progress=progress
        record=record
        [ "$variant" != quiet ] || { mode=once; progress=quiet; }
        [ "$variant" != unrecorded ] || { mode=once; record=unrecorded; }
        # The ways of checking are weighed against each other without the record (which needs a digest of every
        # unpacked entry, and without a check first would decode each entry once more to get it).
        [ "$variant" != none ] && [ "$variant" != twice ] || record=unrecorded
        rm -rf "$GAME"
        mkdir -p "$GAME"
        : >"$GAME/Shin Sangokumusou 3.exe"
        sync
        out="$RESULTS/install-$round.txt"
        [ "$variant" = once ] || out="$RESULTS/install-$variant-$round.txt"
        "$RUN" "$BENCH_EXE" "$(winpath "$PACKAGE")" "$(winpath "$GAME")" "$mode" "$progress" "$record" |
            tr -d '\r' >"$out" || fail "install_bench ($mode, $progress, $record) failed"
        echo "install, check $mode, $progress, $record: $(awk '$1 == "install_s" { print $2 }' "$out") s"
        installed=$(find "$GAME/quorvan" -type f | wc -l)
        own=1
        [ "$record" != record ] || own=2
        [ "$installed" = $((PACK_ENTRIES + own)) ] ||
            fail "the install ($mode, $record) left $installed files under quorvan, expected $PACK_ENTRIES," \
                "resource.lst and (recorded) install.rec"
    done
done
clean_outputs
rm -rf "$GAME" "$OUT_WIN" "$OUT_HOST"

step "figures (medians of $ROUNDS rounds)"
python3 - "$RESULTS" "$ROUNDS" <<'PY'
import os, statistics, sys
results, rounds = sys.argv[1], int(sys.argv[2])
def ns(name):
    with open(os.path.join(results, name)) as f:
        return statistics.median(int(line) / 1e9 for line in f if line.strip())
def read_runs(pattern):
    found = []
    for r in range(1, rounds + 1):
        with open(os.path.join(results, pattern % r)) as f:
            found.append({k: v.strip() for k, v in (line.split(None, 1) for line in f if line.strip())})
    return found
runs = read_runs("install-%d.txt")
unchecked = read_runs("install-none-%d.txt")
twice = read_runs("install-twice-%d.txt")
quiet = read_runs("install-quiet-%d.txt")
unrecorded = read_runs("install-unrecorded-%d.txt")
def med(key, which=None):
    return statistics.median(float(run[key]) for run in (which or runs))
first = runs[0]
MB = 1 << 20
wine_start = ns("wine-start.ns")
win_gross = ns("packtool-win.ns")
win_net = win_gross - wine_start
host = ns("packtool-host.ns")
install = med("install_s")
original = int(first["entries_original_bytes"])
compressed = int(first["entries_compressed_bytes"])
print("entries                          %s, %.1f MB original, %.1f MB compressed"
      % (first["entries"], original / MB, compressed / MB))
print("install (confirmation to done)   %.3f s   %6.1f MB/s   [rounds: %s]"
      % (install, original / MB / install, ", ".join(run["install_s"] for run in runs)))
print("packtool.exe extract (wine64)    %.3f s   %6.1f MB/s   (%.3f s with its process start of %.3f s)"
      % (win_net, original / MB / win_net, win_gross, wine_start))
print("packtool extract (native)        %.3f s   %6.1f MB/s" % (host, original / MB / host))
print("ratio install / packtool.exe     %.2f  (aim: 1.20 or less; %.2f against its time with the start)"
      % (install / win_net, install / win_gross))
print("ratio install / native packtool  %.2f" % (install / host))
print()
print("checking every entry before the first change (same run, same rounds, all three without the record):")
none_s, twice_s, once_s = med("install_s", unchecked), med("install_s", twice), med("install_s", unrecorded)
print("  install without the check      %.3f s   [rounds: %s]" % (none_s, ", ".join(r["install_s"] for r in unchecked)))
print("  check once, unpack w/o digest  %.3f s   ratio %.2f to without (aim: 1.20 or less)" % (once_s, once_s / none_s))
print("  check twice                    %.3f s   ratio %.2f to without" % (twice_s, twice_s / none_s))
def paired_to(key, which, base):
    return statistics.median(float(a[key]) / float(b[key]) for a, b in zip(which, base))
def paired(key, which):
    return paired_to(key, which, unchecked)
print("  round by round (each round runs the three back to back): median ratio to without the check")
print("    wall clock      once %.2f, twice %.2f" % (paired("install_s", unrecorded), paired("install_s", twice)))
print("    processor time  once %.2f, twice %.2f   (%.3f s once, %.3f s twice, %.3f s without)"
      % (paired("install_cpu_s", unrecorded), paired("install_cpu_s", twice), med("install_cpu_s", unrecorded),
         med("install_cpu_s", twice), med("install_cpu_s", unchecked)))
print("  the check itself (to the worker's first hand-back) %.3f s once, %.3f s twice, %.3f s without"
      % (med("check_s", unrecorded), med("check_s", twice), med("check_s", unchecked)))
print("  worker with the check once     %.3f s, without %.3f s, twice %.3f s"
      % (med("install_until_done_message_s", unrecorded), med("install_until_done_message_s", unchecked),
         med("install_until_done_message_s", twice)))
print()
print("showing the unpack's share done (status label, taskbar button; same run, same rounds):")
quiet_s = med("install_s", quiet)
print("  install without it             %.3f s   [rounds: %s]" % (quiet_s, ", ".join(r["install_s"] for r in quiet)))
print("  ratio with / without           %.3f (medians; aim: 1.01 or less), round by round %.3f, processor time %.3f"
      % (install / quiet_s, paired_to("install_s", runs, quiet), paired_to("install_cpu_s", runs, quiet)))
print()
print("the install record (digests of the unpacked entries, originals checked, record written; same run, same rounds):")
unrecorded_s = med("install_s", unrecorded)
print("  install without it             %.3f s   [rounds: %s]"
      % (unrecorded_s, ", ".join(r["install_s"] for r in unrecorded)))
print("  install with it (the product)  %.3f s   [rounds: %s]" % (install, ", ".join(r["install_s"] for r in runs)))
print("  ratio with / without           %.3f (medians; aim: 1.03 or less), round by round %.3f, processor time %.3f"
      % (install / unrecorded_s, paired_to("install_s", runs, unrecorded),
         paired_to("install_cpu_s", runs, unrecorded)))
print()
print("where the install's time goes:")
print("  worker (unpack + library)      %.3f s" % med("install_until_done_message_s"))
print("  FinishInstall (21 copies, box) %.3f s" % med("finish_install_s"))
print("  decoding alone (read, MD5, LZO, no files) %.3f s" % med("extract_only_s"))
print("  helper library alone (ResourceInstall)    %.3f s" % med("library_only_s"))
print("  install without the library    %.3f s   ratio %.2f to packtool.exe"
      % (install - med("library_only_s"), (install - med("library_only_s")) / win_net))
print()
largest = int(first["largest_entry_original_bytes"]) + int(first["largest_entry_compressed_bytes"])
peak_above = med("done_peak_working_set") - med("idle_working_set")
print("largest entry                    %s: %.1f MB original + %.1f MB compressed = %.1f MB"
      % (first["largest_entry"], int(first["largest_entry_original_bytes"]) / MB,
         int(first["largest_entry_compressed_bytes"]) / MB, largest / MB))
print("idle installer                   working set %.1f MB (peak so far %.1f MB), pagefile %.1f MB"
      % (med("idle_working_set") / MB, med("idle_peak_working_set") / MB, med("idle_pagefile") / MB))
print("when the worker hands back       peak working set %.1f MB: %.1f MB above idle = %.2f x the largest entry"
      % (med("worker_done_peak_working_set") / MB, (med("worker_done_peak_working_set") - med("idle_working_set")) / MB,
         (med("worker_done_peak_working_set") - med("idle_working_set")) / largest))
print("  of which kept afterwards       %.1f MB (the working set then, with no entry's buffers alive)"
      % ((med("worker_done_working_set") - med("idle_working_set")) / MB))
print("at \"安装成功结束!\"                peak working set %.1f MB, peak pagefile %.1f MB"
      % (med("done_peak_working_set") / MB, med("done_peak_pagefile") / MB))
print("peak working set above idle      %.1f MB = %.2f x the largest entry (aim: 1.00 or less)"
      % (peak_above / MB, peak_above / largest))
print("pagefile above idle at the end   %.1f MB (Wine reports no separate pagefile peak: its peak equals the "
      "current value)" % ((med("done_peak_pagefile") - med("idle_pagefile")) / MB))
PY
