#!/usr/bin/env bash
# Developer commands for tunetidy on Debian: builds the Windows program with
# MinGW-w64 and runs it, its tests and its benchmark under Wine.
#
#   ./dev.sh run     build, make a sample folder and start tunetidy.exe
#   ./dev.sh test    build and run every test on a virtual display
#   ./dev.sh bench   build and run the engine benchmark on a virtual display
#
# Each command first installs any missing Debian package (needs root).
set -euo pipefail
trap 'echo "dev.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD="$ROOT/build"
PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools googletest
          wine64 wine xvfb xdotool netpbm x11-apps)

export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '==> %s\n' "$*" >&2; }

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    log "installing ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}. Run this command as root to install them." >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

build() {
    local warnings_as_errors=OFF
    [ -n "${CI:-}" ] && warnings_as_errors=ON
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DTUNETIDY_WARNINGS_AS_ERRORS=$warnings_as_errors >/dev/null
    cmake --build "$BUILD" --parallel "$(nproc)" "$@"
}

# A private Wine prefix: no window manager waits, no crash dialog that would
# hang a test run.
prepare_wine_prefix() {
    [ -f "$WINEPREFIX/.tunetidy-ready" ] && return
    log "creating the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.tunetidy-ready"
}

# Keeps one Wine server for the whole run instead of one per process, and
# starts Wine's own services and desktop now: started by a test, they would
# hold CTest's output pipe open until they end. Needs DISPLAY.
start_wine_session() {
    prepare_wine_prefix
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
}

# Starts Xvfb on a free display and exports DISPLAY.
start_virtual_display() {
    local fifo="$BUILD/xvfb-display"
    rm -f "$fifo" && mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    # Xvfb writes the number and the newline separately: read the whole line
    # before the pipe closes.
    local number
    read -r number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$number"
}

stop_session() {
    wineserver -k 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# Drive T: is an empty scratch folder for the drive-root test; the marker
# tells the test that it may write there.
map_scratch_drive() {
    local scratch="$BUILD/scratch-drive"
    rm -rf "$scratch" && mkdir -p "$scratch"
    touch "$scratch/tunetidy-scratch-drive"
    ln -sfn "$scratch" "$WINEPREFIX/dosdevices/t:"
}

# Writes one MP3-like file: some audio bytes and an ID3v1 tag.
write_sample() {
    local path=$1 artist=$2 album=$3
    {
        head -c 2048 /dev/urandom
        printf 'TAG'
        for field in "Sample track" "$artist" "$album"; do
            printf '%s' "$field"
            head -c $((30 - ${#field})) /dev/zero
        done
        head -c 35 /dev/zero
    } >"$path"
}

make_sample_folder() {
    local folder="$BUILD/sample-music"
    rm -rf "$folder" && mkdir -p "$folder"
    write_sample "$folder/01 Morning.mp3" "The Examples" "First Light"
    write_sample "$folder/02 Noon.mp3" "The Examples" "First Light"
    write_sample "$folder/03 Dusk.MP3" "The Examples" "Vol. 2"
    write_sample "$folder/04 Rain.mp3" "AC/DC Tribute" ""
    write_sample "$folder/05 Loose.mp3" "" "Odds and Ends"
    head -c 4096 /dev/urandom >"$folder/06 Untagged.mp3"
    echo "$folder"
}

command_run() {
    install_missing_packages
    build --target tunetidy
    local sample
    sample=$(make_sample_folder)
    log "built $BUILD/tunetidy.exe"
    log "sample folder to sort: Z:${sample//\//\\} ($sample)"
    if [ -z "${DISPLAY:-}" ]; then
        cat >&2 <<MESSAGE
There is no display to show the window on. Run this command from a desktop
session, or start a virtual display and look at it with a VNC viewer or
screenshots, for example:
    Xvfb :5 & DISPLAY=:5 ./dev.sh run
On Windows, copy build/tunetidy.exe there and start it: it is self-contained.
MESSAGE
        exit 1
    fi
    prepare_wine_prefix
    wine "$BUILD/tunetidy.exe"
}

command_test() {
    install_missing_packages
    build
    trap stop_session EXIT
    start_virtual_display
    start_wine_session
    map_scratch_drive
    ctest --test-dir "$BUILD" --output-on-failure --timeout 300
}

command_bench() {
    install_missing_packages
    build --target engine_benchmark
    trap stop_session EXIT
    start_virtual_display
    start_wine_session
    wine "$BUILD/engine_benchmark.exe"
}

case "${1:-}" in
run) command_run ;;
test) command_test ;;
bench) command_bench ;;
*)
    sed -n '5,7p' "$0" | sed 's/^# *//' >&2
    exit 2
    ;;
esac
