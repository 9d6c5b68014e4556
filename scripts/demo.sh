#!/usr/bin/env bash
# The whole life of a Melvox install in a throwaway Wine prefix: install
# with the sample NSIS installer (which writes Uninstall.lst and runs
# "uninstall.exe /setup"), uninstall through Wine's list of installed
# programs, and report what setup created and what the uninstall removed
# or left.
#
#   scripts/demo.sh [--headless] [--lang de|ja] [--installer nsis|fake]
#                   [--arch win32|win64]
#
#   --headless   drive the dialogs from a helper program and save
#                screenshots (the default when there is no display)
#   --lang de    install the German language module beside the program
#   --lang ja    install the Japanese language module, in a prefix whose
#                ANSI code page is 932 (Wine takes it from the Unix locale
#                ja_JP.UTF-8, built into build/locale)
#   --installer  nsis (default): samples/installer/melvox.nsi, run silently,
#                and the uninstall started by "wine uninstaller --remove";
#                fake: the test fixture lays out the files, and the demo
#                starts "uninstall.exe /setup" and the uninstall itself
#   --arch       win32 (default): the 32-bit build in a 32-bit prefix;
#                win64: the x86_64 build in a 64-bit prefix
#   --no-emulation  on a host that runs no 32-bit code, take the x86_64
#                build and the fixture installer as stand-ins
#   Without --arch and --installer, a host that runs no 32-bit code runs
#   the 32-bit program and the NSIS installer in an emulated PC
#   (scripts/emulated-i386.sh; the build stays on the host, the report and
#   screenshots come back to build/demo/), or with --no-emulation takes
#   win64 and fake; the report's first line says which road and why.
#   MELVOX_EMULATION=1 takes the emulated PC on any host.
#
# Builds into build/win32 or build/win64 (shared with scripts/test.sh;
# MELVOX_BUILD moves build/); the prefix, screenshots and snapshots go to
# build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

headless=0
no_emulation=0
lang=""
kind=""
arch=""
while [ $# -gt 0 ]; do
    case "$1" in
        --headless) headless=1 ;;
        --lang) lang=${2:-}; shift ;;
        --lang=*) lang=${1#--lang=} ;;
        --installer) kind=${2:-}; shift ;;
        --installer=*) kind=${1#--installer=} ;;
        --arch) arch=${2:-}; shift ;;
        --arch=*) arch=${1#--arch=} ;;
        --no-emulation) no_emulation=1 ;;
        -h|--help) sed -n '2,35p' "$0"; exit 0 ;;
        *) echo "demo: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ -n "$lang" ] && [ ! -f "samples/lang-$lang/mvxlng.rc" ]; then
    echo "demo: no language module samples/lang-$lang" >&2
    exit 2
fi
case "$kind" in
    ""|nsis|fake) ;;
    *) echo "demo: --installer is nsis or fake, not \"$kind\"" >&2; exit 2 ;;
esac
case "$arch" in
    ""|win32|win64) ;;
    *) echo "demo: --arch is win32 or win64, not \"$arch\"" >&2; exit 2 ;;
esac
# A module for a double-byte code page runs in a prefix of that code page,
# as on a system of its language; the others in the default one (1252).
locale_name=""
code_page=""
case "$lang" in
    ja) locale_name=ja_JP code_page=932 ;;
esac
[ -n "${DISPLAY:-}" ] || headless=1

start=$(date +%s%N)
step() {
    local tenths=$((($(date +%s%N) - start) / 100000000))
    printf '[%3d.%ds] %s\n' $((tenths / 10)) $((tenths % 10)) "$*"
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# In the emulated PC the host has built everything and the guest has no
# network: the guest's run only runs.
in_guest=${MELVOX_DEMO_IN_GUEST:-0}
step "Checking build tools"
[ "$in_guest" = 1 ] || scripts/install-deps.sh

# Asked only now: before install-deps a new machine has no Wine at all, and
# the 32-bit loader would seem missing on every host. A host whose kernel
# runs no 32-bit programs starts neither that loader nor the 32-bit NSIS
# installer: there the x86_64 build and the fixture installer stand in,
# unless told otherwise.
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
emulate=0
road=${MELVOX_DEMO_ROAD:-}
asked="${arch:+--arch $arch}${arch:+${kind:+ }}${kind:+--installer $kind}"
why="this host runs no 32-bit code (Wine's 32-bit loader, /usr/lib/wine/wine, does not start)"
[ "${MELVOX_EMULATION:-0}" != 1 ] || why="MELVOX_EMULATION=1 asked for it"
if [ -z "$arch$kind" ] && [ "$in_guest" = 0 ] && { [ "${MELVOX_EMULATION:-0}" = 1 ] || ! wine_env_runs_i386; }; then
    if [ "$no_emulation" = 1 ]; then
        arch=win64 kind=fake
        road="the x86_64 build and the fixture installer stand in for the 32-bit program and the NSIS installer: $why, and --no-emulation was given"
        step "NOTE: $road"
    else
        emulate=1
        road="the 32-bit program and the NSIS installer in a 32-bit prefix, in an emulated PC (qemu, scripts/emulated-i386.sh): $why"
        step "NOTE: $road"
    fi
fi
kind=${kind:-nsis} arch=${arch:-win32}
case "$arch" in
    win32) toolchain=mingw-i686.cmake program="the 32-bit program" ;;
    win64) toolchain=mingw-x86_64.cmake program="the x86_64 build" ;;
esac
case "$kind" in
    nsis) installer="the NSIS installer" ;;
    fake) installer="the fixture installer" ;;
esac
if [ -z "$road" ]; then
    road="$program and $installer, run by this host's Wine in a ${arch#win}-bit prefix"
    if [ -n "$asked" ]; then road="$road: $asked was asked for"; else road="$road: this host runs 32-bit code"; fi
fi

build=${MELVOX_BUILD:-$root/build}
targets=(uninstall mvxlng mvxlng_ja melvox_stub mvxext_stub demo_driver)
if [ "$kind" = nsis ]; then targets+=(melvox_setup); else targets+=(fake_installer); fi
out=$build/$arch
step "Building uninstall.exe, the ${kind/nsis/NSIS} installer and the demo helpers in $out"
if [ "$in_guest" = 0 ]; then
    cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$out" -j"$(nproc)" --target "${targets[@]}" >/dev/null
fi

if [ -n "$locale_name" ]; then
    # Most machines have no Japanese locale generated: build it from the
    # source in Debian's "locales" into the build folder.
    locales=$build/locale
    if [ ! -f "$locales/$locale_name.UTF-8/LC_CTYPE" ]; then
        step "Building the locale $locale_name.UTF-8 in $locales"
        mkdir -p "$locales"
        localedef -i "$locale_name" -f UTF-8 "$locales/$locale_name.UTF-8" >/dev/null 2>&1 || true
    fi
    if [ ! -f "$locales/$locale_name.UTF-8/LC_CTYPE" ]; then
        echo "demo: localedef could not build $locale_name.UTF-8 (package locales)" >&2
        exit 1
    fi
    export LOCPATH=$locales
    # For the programs started from here; bash itself cannot load a locale
    # from LOCPATH and would only warn.
    { export LC_ALL=$locale_name.UTF-8; } 2>/dev/null
fi

demo=$build/demo
shots=$demo/screenshots
if [ "$emulate" = 1 ]; then
    # The same demo, run by the guest from its copy of the tree; its report
    # and screenshots come back here.
    trees=$arch
    [ -z "$locale_name" ] || trees="$trees locale"
    headless=1
    step "Starting the emulated PC (the first run makes its disk image, about 5 minutes)"
    rc=0
    MELVOX_WAIT_FACTOR=${MELVOX_WAIT_FACTOR:-6} scripts/emulated-i386.sh --build "$build" --trees "$trees" \
        --out "$build/demo-emulated" --timeout "${MELVOX_LANE_TIMEOUT:-1800}" -- \
        env MELVOX_DEMO_IN_GUEST=1 MELVOX_DEMO_ROAD="$road" scripts/demo.sh --headless \
        --arch "$arch" --installer "$kind" ${lang:+--lang "$lang"} || rc=$?
    cat "$build/demo-emulated/guest.log" 2>/dev/null || true
    rm -rf "$demo"
    if [ -d "$build/demo-emulated/results/demo" ]; then
        cp -a "$build/demo-emulated/results/demo" "$demo"
        step "The report, snapshots and screenshots of the emulated run are in $demo"
    fi
    exit "$rc"
fi
rm -rf "$demo"
mkdir -p "$shots"
fake_installer=$out/tests/fixtures/installer/fake_installer.exe
setup_exe=$out/samples/installer/melvox-setup.exe
driver=$out/samples/demo-driver/demo_driver.exe
folder='C:\Program Files\Melvox'
# The key of the uninstall entry that setup writes; Wine's uninstaller
# takes the key's name, not the display name.
entry_key='Melvox archiver'

step "Creating a throwaway Wine prefix in $demo/wine${locale_name:+ (locale $LC_ALL)}"
WINE_ENV_ARCH=$arch WINE_ENV_FORCE_XVFB=$headless wine_env_start "$demo/wine"
trap wine_env_stop EXIT
code_pages=$(wine "$driver" codepages </dev/null 2>/dev/null | tr -d '\r')
step "Code pages of the prefix's programs: $code_pages"
if [ -n "$code_page" ] && [ "$code_pages" != "ANSI $code_page, OEM $code_page" ]; then
    echo "demo: the module \"$lang\" needs ANSI code page $code_page; the prefix has $code_pages" >&2
    exit 1
fi
# Wine's own output (its uninstaller's list) comes in the ANSI code page.
from_ansi() { cat; }
case "$code_pages" in
    "ANSI 932,"*) from_ansi() { iconv -f CP932 -t UTF-8 -c; } ;;
esac
if [ "$lang" = ja ]; then
    # The Japanese dialogs name "MS UI Gothic", which Windows has and Wine
    # has not. Without a Japanese font on the machine every character is a
    # box; with IPAGothic (package fonts-ipafont-gothic) Wine's fallback
    # already finds it, and this replacement names it for that face, so
    # that no other Japanese font installed later takes its place.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f >/dev/null 2>&1
fi

# Another archiver owns .zip before Melvox arrives, so that the report shows
# the uninstall giving it back.
wine reg add 'HKCR\.zip' /ve /d OtherZip.Archive /f >/dev/null 2>&1
wine reg add 'HKCR\.zip' /v 'Content Type' /d application/zip /f >/dev/null 2>&1

# The helper's own lines start with two blanks; the rest is the cleanup
# script's console output, which it inherits.
drive() {
    local mode=$1
    shift
    local args=("$mode" "$folder" "$(winpath "$shots")" "$@")
    [ "$headless" = 1 ] || args+=(/manual)
    wine "$driver" "${args[@]}" 2>&1 | sed -u 's/\r$//' | grep --line-buffered '^  ' || true
}
seconds_since() {
    local tenths=$((($(date +%s%N) - $1) / 100000000))
    printf '%d.%d s' $((tenths / 10)) $((tenths % 10))
}
unix_folder="$WINEPREFIX/drive_c/Program Files/Melvox"

install_start=$(date +%s%N)
if [ "$kind" = nsis ]; then
    setup_command="$(winpath "$setup_exe") /S${lang:+ /LANG=$lang} /D=$folder"
    step "Installing with the NSIS installer: melvox-setup.exe /S${lang:+ /LANG=$lang} /D=$folder"
    if [ "$headless" = 1 ]; then
        step "It copies the files, writes Uninstall.lst and runs uninstall.exe /setup (dialogs driven automatically)"
    else
        step "It copies the files, writes Uninstall.lst and runs uninstall.exe /setup: choose, press OK, then Done"
    fi
    # The helper takes the "before setup" snapshot when the Setup dialog
    # shows: the files are in place then, and setup has not run yet.
    drive setup /via "$setup_command" /before "$(winpath "$demo/0-installed.txt")"
    if [ ! -f "$unix_folder/Uninstall.lst" ]; then
        echo "demo: the installer left no $folder\Uninstall.lst" >&2
        exit 1
    fi
    tr -d '\r' <"$unix_folder/Uninstall.lst" | sed 's/^/  listed: /'
else
    step "Installing the sample files into $folder with fake_installer.exe${lang:+ (with the language module \"$lang\")}"
    lang_args=()
    [ -z "$lang" ] || lang_args=(/lang "$(winpath "$out/samples/lang-$lang/mvxlng.dll")")
    wine "$fake_installer" "${lang_args[@]}" "$folder" | tr -d '\r' | sed 's/^/  listed: /'
    wine "$driver" report "$folder" | tr -d '\r' >"$demo/0-installed.txt"
    if [ "$headless" = 1 ]; then
        step "Running uninstall.exe /setup (the dialogs are driven automatically)"
    else
        step "Running uninstall.exe /setup: choose, press OK, then Done"
    fi
    drive setup
fi
install_time=$(seconds_since "$install_start")
[ -s "$demo/0-installed.txt" ] || { echo "demo: setup did not run" >&2; exit 1; }
wine "$driver" report "$folder" | tr -d '\r' >"$demo/1-setup.txt"
uninstall_string=$(awk -F'\t' -v key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$entry_key" \
    '$1=="value" && $2==key && $3=="UninstallString" {print substr($4, 2, length($4) - 2)}' "$demo/1-setup.txt")

uninstall_start=$(date +%s%N)
if [ "$kind" = nsis ]; then
    step "Wine's list of installed programs (wine uninstaller --list):"
    listed=$(wine uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | from_ansi)
    sed 's/^/  /' <<<"$listed"
    if ! awk -F'[|][|][|]' -v key="$entry_key" 'tolower($1) == tolower(key) {found = 1} END {exit !found}' <<<"$listed"; then
        echo "demo: setup made no entry \"$entry_key\" in the list of installed programs" >&2
        exit 1
    fi
    if [ "$headless" = 1 ]; then
        step "Uninstalling as that list does: wine uninstaller --remove \"$entry_key\" (confirmation answered Yes automatically)"
    else
        step "Uninstalling as that list does: wine uninstaller --remove \"$entry_key\": answer the question"
    fi
    # Wine's uninstaller ends with 0 whether or not a key matched; the
    # helper reports whether a confirmation came, and the list must no
    # longer show the entry afterwards.
    drive uninstall /via "C:\\windows\\system32\\uninstaller.exe --remove \"$entry_key\""
    if wine uninstaller --list </dev/null 2>/dev/null | tr -d '\r' |
        awk -F'[|][|][|]' -v key="$entry_key" 'tolower($1) == tolower(key) {found = 1} END {exit !found}'; then
        echo "  the list of installed programs still shows \"$entry_key\""
    else
        echo "  the list of installed programs no longer shows \"$entry_key\""
    fi
else
    if [ "$headless" = 1 ]; then
        step "Running uninstall.exe (confirmation answered Yes automatically)"
    else
        step "Running uninstall.exe: answer the question"
    fi
    drive uninstall
fi
uninstall_time=$(seconds_since "$uninstall_start")
wine "$driver" report "$folder" | tr -d '\r' >"$demo/2-uninstalled.txt"

# Why a thing that setup made survives the uninstall, or comes back changed.
reason() {
    case "$1" in
        *'\ShellNew'*) echo "the uninstall removes no ShellNew template key" ;;
        'HKCR\.'*'Content Type') echo "no previous content type was saved, so setup's value stays" ;;
        'HKCR\.'*) echo "extension keys stay; only their default value is given back" ;;
        *'App Paths\Melvox.exe'*) echo "the uninstall did not remove the application path" ;;
        *'Uninstall.Mvx.Bat') echo "the cleanup script had not ended yet" ;;
        *'\Temp\Melvox-'*) echo "the cleanup script's own folder: Wine's cmd still held the script when the script removed it; its removal is due at the next restart" ;;
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
echo "================ How it ran ================"
fold -s -w 64 <<<"$road" | sed 's/ *$//; 1s/^/  Road:       /; 2,$s/^/              /'
echo "  Program:    uninstall.exe, $program ($out/uninstall.exe)"
echo "  Prefix:     $arch, code pages $code_pages${locale_name:+ (Unix locale $LC_ALL)}"
if [ "$kind" = nsis ]; then
    echo "  Installer:  the NSIS installer melvox-setup.exe, built with makensis from"
    echo "              samples/installer/melvox.nsi,"
    echo "              run silently: melvox-setup.exe /S${lang:+ /LANG=$lang} /D=$folder"
    echo "  Setup:      started by the installer (uninstall.exe /setup in the install folder),"
    echo "              which waited for it; install and setup took $install_time"
    echo "  Uninstall:  started as the list of installed programs starts it, by Wine's"
    echo "              Add/Remove Programs tool: wine uninstaller --remove \"$entry_key\""
    echo "              (uninstaller.exe inside the prefix), which ran the entry's"
    echo "              UninstallString = ${uninstall_string:-(none)}; took $uninstall_time"
else
    echo "  Installer:  fake_installer.exe (tests/fixtures/installer), then the demo"
    echo "              helper started uninstall.exe /setup in the install folder;"
    echo "              install and setup took $install_time"
    echo "  Uninstall:  uninstall.exe started directly by the demo helper, from C:\\"
    echo "              (the entry's UninstallString = ${uninstall_string:-(none)}); took $uninstall_time"
fi
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
echo "  Made by the uninstall and still there:"
made=$(comm -13 <(grep '^F' <<<"$all_setup") <(grep '^F' <<<"$after") | cut -f2)
[ -n "$made" ] || echo "      (nothing)"
while IFS= read -r path; do
    [ -n "$path" ] && printf '      %s\n          (%s)\n' "$path" "$(reason "$path")"
done <<<"$made"
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
if [ "$in_guest" = 1 ] && [ -n "${MELVOX_LANE_OUT:-}" ]; then
    mkdir -p "$MELVOX_LANE_OUT/demo"
    cp -a "$demo"/*.txt "$shots" "$MELVOX_LANE_OUT/demo/"
fi
