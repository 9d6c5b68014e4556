# Sourced by the test, demo and benchmark scripts: a throwaway Wine prefix
# and HOME under a given folder, and an Xvfb display when there is none.
# Call wine_env_start DIR, and wine_env_stop when done (also on exit).
#   WINE_ENV_FORCE_XVFB=1  start Xvfb even when DISPLAY is set
#   WINE_ENV_ARCH=win64    a 64-bit prefix (default win32); 32-bit programs
#                          run there under WoW64, 64-bit ones through the
#                          64-bit loader (/usr/lib/wine/wine64 on Debian)
#
# A host whose kernel runs no 32-bit (i386) programs cannot start Wine's
# 32-bit loader, nor any 32-bit Windows program: wine_env_runs_i386 says
# so, and wine_env_start then makes a 64-bit prefix whose "wine" is the
# 64-bit loader.

# Whether this host can start Wine's 32-bit loader.
wine_env_runs_i386() {
    # Asked before scripts/install-deps.sh, a new machine would seem to
    # run no 32-bit programs only because Wine is not there yet.
    [ -e /usr/lib/wine/wine ] ||
        echo "wine-env: Wine is not installed; run scripts/install-deps.sh before asking" >&2
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

wine_env_start() {
    local base=$1
    mkdir -p "$base"
    base=$(cd "$base" && pwd)
    export WINEPREFIX="$base/prefix"
    export HOME="$base/home"
    export WINEARCH=${WINE_ENV_ARCH:-win32}
    if ! wine_env_runs_i386; then
        # Debian's wine and wineboot pick the 32-bit loader whenever it is
        # installed; here only the 64-bit one starts.
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        mkdir -p "$base/bin"
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$base/bin/wine"
        chmod +x "$base/bin/wine"
        cp "$base/bin/wine" "$base/bin/wine-stable"
        case ":$PATH:" in *":$base/bin:"*) ;; *) export PATH="$base/bin:$PATH" ;; esac
    fi
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
    export XDG_CACHE_HOME="$HOME/.cache" XDG_DESKTOP_DIR="$HOME/Desktop"
    mkdir -p "$HOME"
    WINE_ENV_XVFB_PID=""
    if [ -z "${DISPLAY:-}" ] || [ "${WINE_ENV_FORCE_XVFB:-0}" = 1 ]; then
        local fdfile="$base/xvfb.display"
        rm -f "$fdfile"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
        WINE_ENV_XVFB_PID=$!
        local i
        for i in $(seq 1 100); do
            [ -s "$fdfile" ] && break
            sleep 0.1
        done
        export DISPLAY=":$(head -n1 "$fdfile")"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        # Without a window manager Wine waits about 2 s after a message box
        # closes; unmanaged windows give control back at once.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
        wine_env_fonts
    fi
    # Keep one wineserver for the whole run: every test starts faster.
    wineserver -p
    # Start Wine's own background processes now, with no pipe attached:
    # started by a test under CTest they would hold its output pipe open.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Wine's own fonts (package fonts-wine), which this Wine does not take from
# its data folder: without them every face falls back to DejaVu Sans, the
# caption's close box shows the letter "r" (no Marlett) and the dialogs'
# "MS Sans Serif" is not the face they were laid out for. The bitmap
# sserife.fon is the real "MS Sans Serif", as on Windows.
wine_env_fonts() {
    local from=/usr/share/wine/fonts
    [ -d "$from" ] || { echo "wine-env: $from missing (package fonts-wine)" >&2; return 0; }
    cp "$from"/*.ttf "$from"/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
}

wine_env_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
    fi
    if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
}
