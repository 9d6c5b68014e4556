#!/usr/bin/env bash
# The emulated 32-bit lane: on a host whose kernel runs no 32-bit x86 code,
# a whole PC emulated by qemu runs Debian with 32-bit Wine, and the shipped
# 32-bit program runs there. The build stays on the host; the guest copies
# the tree and the build trees onto its own disk at the same paths (Wine
# maps large programs from a 9p share wrongly), runs one command, leaves
# its output in OUT and powers off.
#
#   scripts/emulated-i386.sh [--build DIR] [--out DIR] [--timeout S] [--trees "win32 win64"] -- CMD...
#       runs CMD (from the tree's folder, in the guest) and returns its exit code;
#       OUT (default BUILD/emulated-i386) gets guest.log, console.log, guest.rc
#       and whatever CMD writes to the folder named in $MELVOX_LANE_OUT
#   scripts/emulated-i386.sh --image
#       only makes (or finds) the cached guest image and prints its folder
#
# The guest image is cached in $MELVOX_GUEST_CACHE (default
# /var/cache/melvox), in a folder named by the hash of the recipe and the
# guest's init script, so it is made again only when either changes; the
# disk is opened with snapshot=on, so no run changes it. Making it takes
# about 5 minutes and 3 GB; a later run boots to the command in seconds.
# MELVOX_WAIT_FACTOR (default 6) is handed to the tests, whose waits for
# windows and processes are that much longer in the guest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
here=$root/scripts/emulated-i386.d
build=${MELVOX_BUILD:-$root/build}
out="" timeout=${MELVOX_LANE_TIMEOUT:-3000} trees="win32 win64" image_only=0
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --timeout) timeout=$2; shift 2 ;;
        --trees) trees=$2; shift 2 ;;
        --image) image_only=1; shift ;;
        --) shift; break ;;
        *) echo "emulated-i386: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ "$image_only" = 1 ] || [ $# -gt 0 ] || { echo "emulated-i386: no command given" >&2; exit 2; }
mkdir -p "$build"
build=$(cd "$build" && pwd)
out=${out:-$build/emulated-i386}

log() { echo "emulated-i386: $*" >&2; }

cache=${MELVOX_GUEST_CACHE:-/var/cache/melvox}
key=$(cat "$here/recipe.sh" "$here/init" | sha256sum | cut -c1-16)
image=$cache/guest-$key

make_image() {
    [ -f "$image/ready" ] && return 0
    mkdir -p "$cache"
    exec 9>"$cache/.lock"
    flock 9
    if [ ! -f "$image/ready" ]; then
        log "making the guest image $image (about 5 minutes, once per recipe)"
        local started=$SECONDS tmp="$image.tmp"
        rm -rf "$tmp"
        mkdir -p "$tmp"
        bash "$here/recipe.sh" "$tmp" || { log "the guest image could not be made (see $tmp/mmdebstrap.log)"; exit 1; }
        rm -rf "$image"
        mv "$tmp" "$image"
        touch "$image/ready"
        log "guest image made in $((SECONDS - started)) s"
        # Images of older recipes are of no further use.
        find "$cache" -maxdepth 1 -name 'guest-*' ! -name "guest-$key" -exec rm -rf {} + 2>/dev/null || true
    fi
    exec 9>&-
}

make_image
if [ "$image_only" = 1 ]; then
    echo "$image"
    exit 0
fi

rm -rf "$out"
mkdir -p "$out/results"
relative_build=""
case $build/ in "$root"/*) relative_build=${build#"$root"/} ;; esac

# The guest's command: the tree and the build trees onto its disk at the
# host's paths, then CMD from the tree's folder.
{
    echo "set -e"
    printf 'root=%q build=%q\n' "$root" "$build"
    echo 'mkdir -p "$root" "$build"'
    if [ -n "$relative_build" ]; then
        printf 'tar -C /mnt/src --exclude=./%q -cf - . | tar -C "$root" -xf -\n' "$relative_build"
    else
        echo 'tar -C /mnt/src -cf - . | tar -C "$root" -xf -'
    fi
    for t in $trees; do
        printf 'mkdir -p "$build/%s" && tar -C /mnt/bld/%s -cf - . | tar -C "$build/%s" -xf -\n' "$t" "$t" "$t"
    done
    echo 'echo "guest: tree copied to the guest disk"'
    echo 'cd "$root"'
    # The host's MELVOX_ settings hold in the guest too.
    while IFS='=' read -r name _; do
        case $name in MELVOX_BUILD|MELVOX_LANE_OUT|MELVOX_WAIT_FACTOR) continue ;; esac
        printf 'export %s=%q\n' "$name" "${!name}"
    done < <(env | grep -E '^MELVOX_[A-Z0-9_]*=' || true)
    printf 'export MELVOX_LANE_OUT=/mnt/out/results MELVOX_BUILD="$build" MELVOX_WAIT_FACTOR=%q\n' "${MELVOX_WAIT_FACTOR:-6}"
    printf 'export CI=%q\n' "${CI:-}"
    printf 'set +e\n'
    printf '%q ' "$@"
    echo
} >"$out/command.sh"

# Software emulation: KVM is no help on these hosts (with -cpu host qemu
# fails to set an MSR; with qemu64 the guest never reaches its console).
# Without -smap the guest kernel kills every 32-bit process at its first
# iret, a fault of the software CPU.
accel=(-accel tcg,thread=multi)
cpu=max,-smap
smp=${MELVOX_GUEST_CPUS:-$(nproc)}
[ "$smp" -le 4 ] || smp=4
qemu=(qemu-system-x86_64 "${accel[@]}" -cpu "$cpu" -smp "$smp" -m "${MELVOX_GUEST_MEMORY:-6144}"
      -kernel "$image/vmlinuz" -initrd "$image/initrd.img"
      -append "root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/sbin/melvox-init"
      -drive "file=$image/disk.img,format=raw,if=virtio,snapshot=on"
      -virtfs "local,path=$root,mount_tag=src,security_model=none,readonly=on"
      -virtfs "local,path=$build,mount_tag=bld,security_model=none,readonly=on"
      -virtfs "local,path=$out,mount_tag=out,security_model=none"
      -display none -monitor none -serial "file:$out/console.log" -no-reboot)

started=$SECONDS
# snapshot=on keeps the guest's writes in a temporary file there.
export TMPDIR=${TMPDIR:-/var/tmp}
"${qemu[@]}" </dev/null >"$out/qemu.log" 2>&1 &
qemu_pid=$!
stop_qemu() { kill "$qemu_pid" 2>/dev/null || true; wait "$qemu_pid" 2>/dev/null || true; }
trap stop_qemu EXIT INT TERM
log "guest started (pid $qemu_pid, ${smp} processors, at most $timeout s)"
while kill -0 "$qemu_pid" 2>/dev/null; do
    if [ $((SECONDS - started)) -ge "$timeout" ]; then
        log "the guest ran out of its $timeout s; stopped"
        stop_qemu
        echo 124 >"$out/guest.rc"
        break
    fi
    sleep 2
done
wait "$qemu_pid" 2>/dev/null || true
trap - EXIT INT TERM
log "guest ended after $((SECONDS - started)) s"
if [ ! -s "$out/guest.rc" ]; then
    log "the guest ended without the command's exit code; its console:"
    tail -30 "$out/console.log" >&2 || true
    exit 125
fi
exit "$(cat "$out/guest.rc")"
