#!/bin/bash
# Runs the shipped i686 build for real: boots the 32-bit guest (build-image.sh makes it once) under
# qemu-system-x86_64 with TCG, walks the i686 QuorvanSetup.exe through install and uninstall in it and runs each
# i686 test program once. This machine's kernel runs no 32-bit code, so nothing else executes the i686 build.
#
#   bash scripts/win32-vm/run.sh            # after "cmake --build --preset win32"
#
# Writes build/win32-vm/: result.txt (the time of each stage, "walk NAME: passed" or "walk NAME: failed: WHY" for
# each walk, one line per test program, and last "i686 walk: passed" or "failed: WHAT"), the walks' screenshots (WALK-NN-STATE.png), job.log (the guest job's
# output), console.log (the guest's console) and tests/ (each test program's output). Exit status 0 when passed.
# Environment:
#   QV_WIN32_BUILD        the i686 build folder (default build/win32)
#   QV_WIN32_VM_DIR       where the image and the results go (default build/win32-vm)
#   QV_WIN32_VM_WALKS     the walks, in order (default "install install-ja settings hostile maintainer":
#                         scripts/win32-vm/walk-NAME.sh; the maintainer's installer is made here first, from the
#                         i686 dist/ folder, by tests/dist/dist_walk.sh --stage make)
#   QV_WIN32_VM_HOSTILE_PARTS   the parts of the hostile walk (default "link killed", tests/e2e/walk_hostile.sh)
#   QV_WIN32_VM_TESTS     0: leave out the test programs; 1: all of them (default); otherwise the programs whose
#                         name matches this pattern (installer_tests, settings*)
#   QV_WIN32_VM_SECONDS   how long the guest may run in all (default 4200)
#   QV_WIN32_VM_SMP, QV_WIN32_VM_MEMORY   the guest's processors and memory in MB (default 2 and 3072)
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$ROOT"
BUILD="$(cd "${QV_WIN32_BUILD:-$ROOT/build/win32}" 2>/dev/null && pwd)" || BUILD="${QV_WIN32_BUILD:-$ROOT/build/win32}"
VM_DIR="${QV_WIN32_VM_DIR:-$ROOT/build/win32-vm}"
WALKS="${QV_WIN32_VM_WALKS:-install install-ja settings hostile maintainer}"
GUEST_SECONDS="${QV_WIN32_VM_SECONDS:-4200}"
SHARE="$VM_DIR/share"
STAGE="$VM_DIR/stage"
RESULT="$VM_DIR/result.txt"

mkdir -p "$VM_DIR"
rm -rf "$SHARE" "$STAGE" "$VM_DIR/tests" "$VM_DIR"/*.png "$VM_DIR/job.log" "$VM_DIR/console.log"
: >"$RESULT"
line() { printf '%s\n' "$*" | tee -a "$RESULT"; }
finish_failed() {
    line "failed: $*"
    exit 1
}

# guest_files FILE...: the files of the source tree (relative to it, one a line) that the shell scripts FILE... need:
# each FILE and every path that a shell script among them names as "$ROOT/..." or "$QV_ROOT/...", followed through
# the scripts so named. A named folder comes whole, a named Python file with the Python files beside it (the modules
# it may import). A path with a variable in it ends at the variable (and is then not found; the walks themselves are
# given); paths into build/ are left out: the build goes to the guest on its own.
guest_files() {
    local queue=("$@") seen=" " path named
    while [ "${#queue[@]}" -gt 0 ]; do
        path=${queue[0]%/}
        queue=("${queue[@]:1}")
        case "/$path/" in // | */../* | */./* | /build/*) continue ;; esac
        [[ "$seen" != *" $path "* ]] || continue
        seen="$seen$path "
        if [ -d "$ROOT/$path" ]; then
            printf '%s\n' "$path"
        elif [ -f "$ROOT/$path" ]; then
            printf '%s\n' "$path"
            case "$path" in
                *.py)
                    for named in "$ROOT/$(dirname "$path")"/*.py; do queue+=("${named#"$ROOT/"}"); done ;;
                *.sh)
                    mapfile -t named < <(grep -o '\${\?\(QV_\)\?ROOT}\?/[A-Za-z0-9_./-]*' "$ROOT/$path" | sed 's|^[^/]*/||')
                    queue+=("${named[@]}") ;;
            esac
        fi
    done
}

# --- the image -----------------------------------------------------------------------------------------------------
started=$SECONDS
bash "$ROOT/scripts/win32-vm/build-image.sh" || finish_failed "the guest image could not be built"
line "stage image $((SECONDS - started)) s"

# --- what the guest gets: the needed files of the tree and the build under their absolute paths ------------------
started=$SECONDS
EXE="$BUILD/bin/QuorvanSetup.exe"
PACKTOOL="$BUILD/host-tools/tools/packtool"
[ -f "$EXE" ] || finish_failed "$EXE is missing (cmake --build --preset win32)"
[ -x "$PACKTOOL" ] || finish_failed "$PACKTOOL is missing (cmake --build --preset win32)"
[ -d "$ROOT/build/locale/zh_CN.UTF-8" ] || bash "$ROOT/scripts/wine-prefix.sh" ||
    finish_failed "no zh_CN locale in build/locale"
mkdir -p "$SHARE/out" "$STAGE"
"$PACKTOOL" extract "$EXE" "$STAGE/package" >/dev/null || finish_failed "packtool could not extract $EXE"
rel() { realpath -s --relative-to=/ "$1"; }
# The maintainer's walk: branded, packed and signed here, where openssl, osslsigncode and windres are.
MAINTAINER="$STAGE/maintainer"
mkdir -p "$MAINTAINER"
if [[ " $WALKS " == *" maintainer "* ]]; then
    WINDRES=$(sed -n 's/^CMAKE_RC_COMPILER:FILEPATH=//p' "$BUILD/CMakeCache.txt" 2>/dev/null)
    bash "$ROOT/tests/dist/dist_walk.sh" --stage make --dist "$BUILD/dist" --probe "$BUILD/tests/e2e/window_probe.exe"         --windres "${WINDRES:-i686-w64-mingw32-windres}" --out "$MAINTAINER" >"$VM_DIR/maintainer-make.log" 2>&1 ||
        finish_failed "the maintainer's installer could not be made from $BUILD/dist (see $VM_DIR/maintainer-make.log)"
fi
# The build folder without what only the compiler needs, and the files of the tree that the walks use.
SEEDS=(scripts/win32-vm/guest-job.sh)
for walk in $WALKS; do
    SEEDS+=("scripts/win32-vm/walk-$walk.sh")
    [ -f "$ROOT/${SEEDS[-1]}" ] || finish_failed "no walk $walk (${SEEDS[-1]})"
done
mapfile -t TREE_FILES < <(guest_files "${SEEDS[@]}")
echo "win32-vm: the tree's files that the guest job and the walks ($WALKS) use:"
printf '   %s\n' "${TREE_FILES[@]}"
TREE_PATHS=()
for file in "${TREE_FILES[@]}"; do TREE_PATHS+=("$(rel "$ROOT/$file")"); done
(cd / && tar -cf "$SHARE/tree.tar" \
    --exclude=CMakeFiles --exclude='*.obj' --exclude='*.a' --exclude='*.ninja' --exclude='.ninja_*' \
    --exclude="$(rel "$BUILD")/host-tools" --exclude=compile_commands.json \
    "$(rel "$BUILD")" "$(rel "$STAGE/package")" "$(rel "$ROOT/build/locale")" "$(rel "$MAINTAINER")" \
    "${TREE_PATHS[@]}") ||
    finish_failed "could not pack the build for the guest"
TESTS=""
case "${QV_WIN32_VM_TESTS:-1}" in
    0) ;;
    1) TESTS="$(find "$BUILD/tests" -name '*_tests.exe' | sort | tr '\n' ' ')" ;;
    *) TESTS="$(find "$BUILD/tests" -name "${QV_WIN32_VM_TESTS}.exe" | sort | tr '\n' ' ')" ;;
esac
cat >"$SHARE/job.env" <<ENV
QV_ROOT='$ROOT'
QV_WALKS='$WALKS'
QV_TESTS='$TESTS'
QV_TEST_SECONDS=900
export QV_WIN32_VM_HOSTILE_PARTS='${QV_WIN32_VM_HOSTILE_PARTS:-link killed}'
export QV_WIN32_BUILD='$BUILD' QV_PACKAGE='$STAGE/package' QV_MAINTAINER='$MAINTAINER'
export QV_WALK_FACTS='$BUILD/payload/demo'
ENV
cp "$ROOT/scripts/win32-vm/guest-job.sh" "$SHARE/job.sh"
echo "win32-vm: $(du -sh "$SHARE/tree.tar" | cut -f1) of build and tree for the guest, prepared in $((SECONDS - started)) s"

# --- the guest -----------------------------------------------------------------------------------------------------
IMAGE="$VM_DIR/image"
started=$SECONDS
echo "win32-vm: booting the guest (its console: $VM_DIR/console.log)"
# -cpu max without SMAP: with SMAP every 32-bit Wine process oopses the guest kernel (qemu 7.2 TCG).
# The disk is a snapshot: the guest's writes go to a temporary overlay (in TMPDIR), the image stays as built.
# mitigations=off: the guest kernel's defences against processor side channels (page-table isolation above all, a
# switch of address space on every system call) cost an emulated processor far more than a real one, and Wine makes
# system calls all the time; nothing in the guest needs defending from another of its programs.
TMPDIR="$VM_DIR" timeout -k 10 "$GUEST_SECONDS" qemu-system-x86_64 \
    -machine q35 -accel tcg,thread=multi -cpu max,-smap -smp "${QV_WIN32_VM_SMP:-2}" -m "${QV_WIN32_VM_MEMORY:-3072}" \
    -nographic -no-reboot -nic none \
    -kernel "$IMAGE/vmlinuz" -initrd "$IMAGE/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/qv-init quiet mitigations=off" \
    -drive "file=$IMAGE/disk.img,format=raw,if=virtio,cache=unsafe,snapshot=on" \
    -virtfs "local,path=$SHARE,mount_tag=share,security_model=none,id=share" \
    </dev/null >"$VM_DIR/console.log" 2>&1
qemu_status=$?
guest_seconds=$((SECONDS - started))

# --- what came back ------------------------------------------------------------------------------------------------
cp "$SHARE/job.log" "$VM_DIR/job.log" 2>/dev/null
[ -d "$SHARE/out/tests" ] && cp -r "$SHARE/out/tests" "$VM_DIR/tests"
for walk in $WALKS; do
    for png in "$SHARE/out/$walk"/*.png; do
        [ -f "$png" ] && cp "$png" "$VM_DIR/$walk-$(basename "$png")"
    done
    [ -f "$SHARE/out/$walk/walk.log" ] && cp "$SHARE/out/$walk/walk.log" "$VM_DIR/$walk-walk.log"
done
GUEST="$SHARE/out/result.txt"
if [ "$qemu_status" = 124 ] || [ "$qemu_status" = 137 ]; then
    finish_failed "the guest was still running after $GUEST_SECONDS s (see $VM_DIR/job.log)"
fi
[ -f "$GUEST" ] || finish_failed "the guest job did not start (qemu status $qemu_status, see $VM_DIR/console.log)"

booted=$(sed -n 's/^booted \([0-9]*\).*/\1/p' "$GUEST")
line "stage boot ${booted:-?} s"
failures=()
while read -r kind name rest; do
    case "$kind" in
        stage)
            if [ "$rest" = failed ]; then
                line "stage $name failed"
                failures+=("stage $name")
            else
                line "stage $name $rest s"
            fi
            ;;
        walk)  # walk NAME passed|failed SECONDS [WHY]
            read -r verdict seconds why <<<"$rest"
            line "stage walk-$name $seconds s"
            line "walk $name: $verdict${why:+: $why}"
            [ "$verdict" = passed ] || failures+=("walk $name: $why")
            ;;
        test)  # test NAME passed|failed SECONDS PASSED/RAN [WHY]
            read -r verdict seconds cases why <<<"$rest"
            line "test program $name: $verdict ($seconds s, $cases cases)${why:+: $why}"
            [ "$verdict" = passed ] || failures+=("test program $name")
            ;;
    esac
done <"$GUEST"
walked=$(grep -c '^walk ' "$GUEST")
tested=$(grep -c '^test ' "$GUEST")
walk_seconds=$(awk '$1 == "walk" { s += $4 } END { print s + 0 }' "$GUEST")
test_seconds=$(awk '$1 == "test" { s += $4 } END { print s + 0 }' "$GUEST")
line "stage walk $walk_seconds s ($walked walk(s))"
line "stage test-programs $test_seconds s ($tested program(s))"
line "guest ran $guest_seconds s in all"
grep -qx done "$GUEST" || failures+=("the guest job ended early (see $VM_DIR/job.log)")
[ "$walked" = "$(echo $WALKS | wc -w)" ] || failures+=("not every walk ran")
if [ "${#failures[@]}" -gt 0 ]; then
    joined=$(printf '%s; ' "${failures[@]}")
    finish_failed "${joined%; }"
fi
line "i686 walk: passed"
