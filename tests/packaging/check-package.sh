#!/bin/sh
# Checks Halodial as a packager and a desktop see it, on a build tree:
#   check-package.sh files   BUILD LIST   an install into an empty DESTDIR holds
#                                         exactly the files in LIST
#   check-package.sh desktop BUILD        the installed desktop entry, metainfo,
#                                         icons and man pages pass their checkers
#   check-package.sh deb     BUILD LIST   the .deb that CPack builds holds exactly
#                                         LIST, its Depends name the Qt 6 and
#                                         udev libraries, and lintian finds no
#                                         error in it
set -eu

mode=$1
build=$2
list=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

install_tree() {
    DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
        { cat "$work/install.log"; exit 1; }
}

# Compares a sorted list of paths on standard input with LIST.
compare_with_list() {
    sort >"$work/found"
    sort "$list" >"$work/expected"
    if ! diff -u "$work/expected" "$work/found"; then
        fail "$1 differs from $(basename "$list") (- expected, + found)"
    fi
}

case "$mode" in
files)
    install_tree
    (cd "$work/root" && find . ! -type d | sed 's|^\.||') | compare_with_list "the installed tree"
    ;;

desktop)
    install_tree
    share="$work/root/usr/share"
    desktop="$share/applications/org.halodial.Halodial.desktop"
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
    grep -qx 'Exec=halodial' "$desktop" || fail "the desktop entry does not start plain halodial"
    grep -qx 'Icon=org.halodial.Halodial' "$desktop" || fail "the desktop entry names another icon"

    metainfo="$share/metainfo/org.halodial.Halodial.metainfo.xml"
    appstreamcli validate --no-net --strict "$metainfo" || fail "appstreamcli validate"
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo lists no release $version"
    grep -q '<launchable type="desktop-id">org.halodial.Halodial.desktop</launchable>' "$metainfo" ||
        fail "the metainfo launches no org.halodial.Halodial.desktop"

    for size in 48 128 256; do
        png="$share/icons/hicolor/${size}x${size}/apps/org.halodial.Halodial.png"
        file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not $size px square"
    done
    xmllint --noout "$share/icons/hicolor/scalable/apps/org.halodial.Halodial.svg" || fail "the SVG icon"

    # The user unit: sandboxed (systemd rates it 9.6 "unsafe" without), and
    # without a port it refuses to start, says how to set one, and ends
    # with status 2, which it does not restart.
    unit="$work/root/usr/lib/systemd/user/halodial.service"
    export XDG_RUNTIME_DIR="$work/run"
    mkdir -m 700 -p "$XDG_RUNTIME_DIR"
    if command -v systemd-analyze >/dev/null; then
        systemd-analyze security --user --offline=true --threshold=70 "$unit" >"$work/security" 2>&1 ||
            { cat "$work/security"; fail "the user unit is exposed above 7.0"; }
    fi
    grep -qx 'RestartPreventExitStatus=2' "$unit" || fail "the user unit restarts a usage error"
    start=$(sed -n 's/^ExecStart=//p' "$unit" | sed 's/\$\$/$/g')
    status=0
    said=$(unset HALODIAL_PORT; eval "$start" 2>&1) || status=$?
    [ "$status" -eq 2 ] || fail "the user unit without a port ends with status $status, not 2"
    echo "$said" | grep -q 'systemctl --user edit halodial' || fail "the user unit without a port says: $said"

    xmllint --noout "$share/dbus-1/interfaces/org.halodial.Halodial1.xml" || fail "the D-Bus interface's XML"
    bash -n "$share/bash-completion/completions/halodialctl" || fail "halodialctl's bash completion"

    for page in halodial halodial-ports halodialctl; do
        man="$share/man/man1/$page.1.gz"
        warnings=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null) || fail "man cannot render $page.1"
        [ -z "$warnings" ] || fail "man warns on $page.1: $warnings"
        ! zcat "$man" | grep -n '@[A-Z_]*@' || fail "$page.1 has unfilled placeholders"
        MANWIDTH=80 man -l "$man" 2>/dev/null | grep -q "$version" || fail "$page.1 does not name version $version"
    done
    ;;

deb)
    cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; exit 1; }
    deb=$(find "$work/out" -maxdepth 1 -name '*.deb')
    arch=$(dpkg --print-architecture)
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    [ "$(basename "$deb")" = "halodial_${version}_${arch}.deb" ] || fail "the package is named $(basename "$deb")"
    dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\.||' | compare_with_list "the .deb"

    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libudev1 libc6; do
        echo "$depends" | tr ',' '\n' | grep -q "^ *$lib\( \|$\)" || fail "Depends does not name $lib"
    done
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "the package has no maintainer"
    # Debian's own checker: errors fail; what else it says is listed in
    # README.md and printed here. (Run as root it says so; that is no
    # finding about the package.)
    lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
    cat "$work/lintian"
    ! grep -q '^E: ' "$work/lintian" || fail "lintian reports errors"
    dpkg-deb -f "$deb" Description >"$work/description"
    summary=$(head -n 1 "$work/description")
    [ -n "$summary" ] && [ "$(wc -l <"$work/description")" -gt 2 ] || fail "the package has no long description"
    ! tail -n +2 "$work/description" | grep -qF "$summary" || fail "the long description repeats the summary"
    ;;

*)
    echo "usage: $0 files|desktop|deb BUILD [LIST]" >&2
    exit 2
    ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "packaging $mode: all checks passed"
