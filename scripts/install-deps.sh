#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine.
# Idempotent: returns at once when everything is already present.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64)
have cmake || need+=(cmake)
have make || need+=(make)
have wine || need+=(wine)
# The 64-bit loader for the 64-bit prefix; Debian keeps it out of PATH.
have wine64 || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
# Wine's own fonts (Marlett, Tahoma, MS Sans Serif), copied into each prefix.
dpkg -s fonts-wine >/dev/null 2>&1 || need+=(fonts-wine)
# A Japanese font: the demo's Japanese module names "MS UI Gothic", which
# the 932 prefix maps to IPAGothic (without it Japanese draws as boxes).
dpkg -s fonts-ipafont-gothic >/dev/null 2>&1 || need+=(fonts-ipafont-gothic)
have Xvfb || need+=(xvfb)
have xdpyinfo || need+=(x11-utils)
have import || need+=(imagemagick)
have python3 || need+=(python3)
have makensis || need+=(nsis)
have clang++ || need+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
[ -d /usr/src/googletest/googletest ] || need+=(googletest)
# The Hindi locale's source: the UTF-8 code-page test builds it with localedef.
[ -f /usr/share/i18n/locales/hi_IN ] || need+=(locales)
# Signing and its test: Authenticode on Linux, a throwaway CA.
have osslsigncode || need+=(osslsigncode)
have openssl || need+=(openssl)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# A host that runs no 32-bit code tests the 32-bit program in an emulated
# PC (scripts/emulated-i386.sh): qemu, and mmdebstrap for the guest.
# Asked once Wine is there: before it every host would seem to lack it.
lane_deps() {
    /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
    local lane=()
    have qemu-system-x86_64 || lane+=(qemu-system-x86)
    have mmdebstrap || lane+=(mmdebstrap)
    have mkfs.ext4 || lane+=(e2fsprogs)
    [ ${#lane[@]} -eq 0 ] && return 0
    echo "install-deps: this host runs no 32-bit code; installing ${lane[*]} for the emulated lane"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${lane[@]}" >/dev/null
}

if [ ${#need[@]} -eq 0 ]; then
    lane_deps
    exit 0
fi

echo "install-deps: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves an index that does not match its
# release file for a while; try again before going on with what there is.
for try in 1 2 3 4 5; do
    $SUDO apt-get update -qq && break
    [ "$try" -eq 5 ] && { echo "install-deps: apt-get update kept failing; going on with the lists there are"; break; }
    echo "install-deps: apt-get update failed (try $try of 5); again in 30 s"
    sleep 30
done
if ! $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
    # With one architecture's security list missing, the i386 libraries'
    # candidates lag behind the amd64 ones and multiarch refuses the pair.
    # Taking both from the release itself keeps them at one version.
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "install-deps: trying again with the packages of $codename itself"
    $SUDO apt-get install -y -qq --no-install-recommends -t "$codename" "${need[@]}" >/dev/null
fi
lane_deps
