#!/usr/bin/env bash
# The whole life of a Melvox install in a throwaway Wine prefix: lay out a
# sample install (as the Melvox installer would), run "uninstall.exe /setup"
# there, then the uninstall, and report what setup created and what the
# uninstall removed or left.
#
#   scripts/demo.sh [--headless] [--lang de]
#
#   --headless  drive the dialogs from a helper program and save
#               screenshots (the default when there is no display)
#   --lang de   install the German language module beside the program
#
# Builds into build/win32 (shared with scripts/test.sh; MELVOX_BUILD moves
# build/); the prefix, screenshots and snapshots go to build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

headless=0
lang=""
while [ $# -gt 0 ]; do
    case "$1" in
        --headless) headless=1 ;;
        --lang) lang=${2:-}; shift ;;
        --lang=*) lang=${1#--lang=} ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "demo: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ -n "$lang" ] && [ ! -f "samples/lang-$lang/mvxlng.rc" ]; then
    echo "demo: no language module samples/lang-$lang" >&2
    exit 2
fi
[ -n "${DISPLAY:-}" ] || headless=1

start=$(date +%s%N)
step() {
    local tenths=$((($(date +%s%N) - start) / 100000000))
    printf '[%3d.%ds] %s\n' $((tenths / 10)) $((tenths % 10)) "$*"
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }

step "Checking build tools"
scripts/install-deps.sh

build=${MELVOX_BUILD:-$root/build}
step "Building uninstall.exe, the sample files and the demo helpers in $build/win32"
cmake -S . -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j"$(nproc)" \
      --target uninstall mvxlng melvox_stub mvxext_stub fake_installer demo_driver >/dev/null

demo=$build/demo
shots=$demo/screenshots
rm -rf "$demo"
mkdir -p "$shots"
installer=$build/win32/tests/fixtures/installer/fake_installer.exe
driver=$build/win32/samples/demo-driver/demo_driver.exe
folder='C:\Program Files\Melvox'

step "Creating a throwaway Wine prefix in $demo/wine"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
WINE_ENV_FORCE_XVFB=$headless wine_env_start "$demo/wine"
trap wine_env_stop EXIT

# Another archiver owns .zip before Melvox arrives, so that the report shows
# the uninstall giving it back.
wine reg add 'HKCR\.zip' /ve /d OtherZip.Archive /f >/dev/null 2>&1
wine reg add 'HKCR\.zip' /v 'Content Type' /d application/zip /f >/dev/null 2>&1

step "Installing the sample files into $folder${lang:+ (with the language module \"$lang\")}"
lang_args=()
[ -z "$lang" ] || lang_args=(/lang "$(winpath "$build/win32/samples/lang-$lang/mvxlng.dll")")
wine "$installer" "${lang_args[@]}" "$folder" | tr -d '\r' | sed 's/^/  listed: /'
wine "$driver" report "$folder" | tr -d '\r' >"$demo/0-installed.txt"

# The helper's own lines start with two blanks; the rest is the cleanup
# script's console output, which it inherits.
drive() {
    local mode=$1
    local args=("$mode" "$folder" "$(winpath "$shots")")
    [ "$headless" = 1 ] || args+=(/manual)
    wine "$driver" "${args[@]}" 2>&1 | tr -d '\r' | grep --line-buffered '^  ' || true
}

if [ "$headless" = 1 ]; then
    step "Running uninstall.exe /setup (the dialogs are driven automatically)"
else
    step "Running uninstall.exe /setup: choose, press OK, then Done"
fi
drive setup
wine "$driver" report "$folder" | tr -d '\r' >"$demo/1-setup.txt"

if [ "$headless" = 1 ]; then
    step "Running uninstall.exe (confirmation answered Yes automatically)"
else
    step "Running uninstall.exe: answer the question"
fi
drive uninstall
wine "$driver" report "$folder" | tr -d '\r' >"$demo/2-uninstalled.txt"

# Why a thing that setup made survives the uninstall, or comes back changed.
reason() {
    case "$1" in
        *'\ShellNew'*) echo "the uninstall removes no ShellNew template key" ;;
        'HKCR\.'*'Content Type') echo "no previous content type was saved, so setup's value stays" ;;
        'HKCR\.'*) echo "extension keys stay; only their default value is given back" ;;
        *'App Paths\Melvox.exe'*) echo "the uninstall did not remove the application path" ;;
        *'Uninstall.Mvx.Bat') echo "the cleanup script had not ended yet" ;;
        'C:\Program Files\Melvox'*) echo "not removed: see the uninstall's own lines above" ;;
        *) echo "not removed" ;;
    esac
}
change_reason() {
    case "$1" in
        'HKCR\.'*'(default)'*'-> ""') echo "it had no owner before setup: given back empty, the key stays" ;;
        'HKCR\.'*'(default)'*) echo "given back to the owner it had before setup" ;;
        'HKCR\.'*'Content Type'*) echo "the content type it had before setup, given back" ;;
        *) echo "changed" ;;
    esac
}

# Items of a snapshot: "K<tab>key", "V<tab>key<tab>name<tab>data",
# "F<tab>path" (file or folder).
items() {
    awk -F'\t' '$1=="key"{print "K\t"$2} $1=="value"{print "V\t"$2"\t"$3"\t"$4}
                $1=="file"||$1=="folder"{print "F\t"$2}' "$1"
}

created=$(comm -13 <(items "$demo/0-installed.txt" | sort) <(items "$demo/1-setup.txt" | sort))
echo
echo "================ What setup created ================"
echo "$created" | awk -F'\t' '
    $1=="V" { if ($2 != last) { print "  " $2; last = $2 } printf "      %-40s %s\n", $3, $4 }
    ' | sed 's/^/ /'
echo "  Files:"
echo "$created" | awk -F'\t' '$1=="F"{print "      " $2}'
echo "  (also every key on the way to those values)"

echo
echo "================ What the uninstall did ================"
after=$(items "$demo/2-uninstalled.txt" | sort)
removed_files=0
removed_keys=0
left=()
changed=()
all_setup=$(items "$demo/1-setup.txt" | sort)
while IFS=$'\t' read -r kind a b c; do
    case "$kind" in
        K) if grep -qxF "K	$a" <<<"$after"; then :; else removed_keys=$((removed_keys + 1)); fi ;;
        V) if grep -qxF "V	$a	$b	$c" <<<"$after"; then
               grep -qxF "V	$a	$b	$c" <<<"$created" && left+=("$a  $b = $c|$(reason "$a$b")")
           elif now=$(grep -F "V	$a	$b	" <<<"$after" | head -n1) && [ -n "$now" ]; then
               line="$a  $b: $c -> ${now##*	}"
               changed+=("$line|$(change_reason "$line")")
           fi ;;
        F) if grep -qxF "F	$a" <<<"$after"; then
               left+=("$a|$(reason "$a")")
           else
               removed_files=$((removed_files + 1))
           fi ;;
    esac
done <<<"$all_setup"
echo "  Removed: $removed_keys registry keys (with their values) and $removed_files files and folders."
echo "  Removed keys:"
comm -23 <(grep '^K' <<<"$all_setup") <(grep '^K' <<<"$after") | cut -f2 |
    awk '{ for (i in top) if (index($0, top[i] "\\") == 1) next; top[NR] = $0; print "      " $0 }'
echo "  Removed files and folders:"
comm -23 <(grep '^F' <<<"$all_setup") <(grep '^F' <<<"$after") | cut -f2 | sed 's/^/      /'
echo "  Changed back:"
if [ ${#changed[@]} -eq 0 ]; then echo "      (nothing)"; fi
for item in "${changed[@]}"; do
    printf '      %s\n          (%s)\n' "${item%%|*}" "${item##*|}"
done
echo "  Left in place:"
if [ ${#left[@]} -eq 0 ]; then echo "      (nothing)"; fi
for item in "${left[@]}"; do
    printf '      %s\n          (%s)\n' "${item%%|*}" "${item##*|}"
done
echo

png=0
if [ "$headless" = 1 ]; then
    converter=/usr/bin/convert
    [ -x "$converter" ] || converter=$(command -v convert || true)
    for bmp in "$shots"/*.bmp; do
        [ -e "$bmp" ] || continue
        if [ -n "$converter" ] && "$converter" "$bmp" "${bmp%.bmp}.png" 2>/dev/null; then
            rm -f "$bmp"
            png=$((png + 1))
        fi
    done
    step "Screenshots ($png PNG) in $shots"
    ls "$shots" | sed 's/^/  /'
fi
step "Done. Snapshots of each stage: $demo/{0-installed,1-setup,2-uninstalled}.txt"
