#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks what `cmake --install` and `cpack -G DEB` make of this build: every
# file in place, the desktop entry and the metainfo valid, one id throughout,
# and the package's dependencies declared.
# Usage: check.sh BUILD_DIR APP_ID
set -uo pipefail
BUILD="$(cd "$1" && pwd)"
ID="$2"
WORK="$BUILD/package-check"
ROOT="$WORK/root"
FAILURES=0

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok:   $*"; }
check() { local what="$1"; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

# Width and height of a PNG, from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'; }

rm -rf "$WORK"
mkdir -p "$WORK"
if ! DESTDIR="$ROOT" cmake --install "$BUILD" --prefix /usr > "$WORK/install.log" 2>&1; then
    cat "$WORK/install.log"
    fail "cmake --install"
fi

# The install tree.
SHARE="$ROOT/usr/share"
DESKTOP="$SHARE/applications/$ID.desktop"
METAINFO="$SHARE/metainfo/$ID.metainfo.xml"
check "bin/quorval is an executable" test -x "$ROOT/usr/bin/quorval"
check "desktop entry $ID.desktop" test -f "$DESKTOP"
check "metainfo $ID.metainfo.xml" test -f "$METAINFO"
for size in 16 24 32 48 64 128 256; do
    icon="$SHARE/icons/hicolor/${size}x${size}/apps/$ID.png"
    if [ -f "$icon" ] && [ "$(png_size "$icon")" = "${size}x${size}" ]; then
        pass "icon ${size}x${size}"
    else
        fail "icon ${size}x${size}: $icon missing or not ${size}x${size}"
    fi
done
check "scalable icon" grep -q "<svg" "$SHARE/icons/hicolor/scalable/apps/$ID.svg"
unexpected=$(cd "$ROOT" && find . -type f | grep -v -e "^./usr/bin/quorval$" -e "/$ID\.\(desktop\|metainfo\.xml\|png\|svg\)$")
check "nothing else installed${unexpected:+: $unexpected}" test -z "$unexpected"

# The desktop entry and the metainfo: valid, and naming each other and the icon by the one id.
check "desktop-file-validate" desktop-file-validate "$DESKTOP"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$METAINFO"
for line in "Exec=quorval" "Icon=$ID" "Categories=Utility;Security;" "StartupWMClass=Quorval"; do
    check "desktop entry has $line" grep -qx "$line" "$DESKTOP"
done
check "metainfo id is $ID" grep -q "<id>$ID</id>" "$METAINFO"
check "metainfo launches $ID.desktop" grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$METAINFO"

# The Debian package.
if (cd "$BUILD" && cpack -G DEB -B "$WORK/deb") > "$WORK/cpack.log" 2>&1; then
    pass "cpack -G DEB"
else
    cat "$WORK/cpack.log"
    fail "cpack -G DEB"
fi
DEB=$(find "$WORK/deb" -maxdepth 1 -name 'quorval_*.deb' | head -n 1)
if [ -n "$DEB" ]; then
    check "package name quorval" test "$(dpkg-deb -f "$DEB" Package)" = quorval
    DEPENDS=$(dpkg-deb -f "$DEB" Depends)
    echo "      Depends: $DEPENDS"
    for lib in libqt6core6 libqt6gui6 libqt6widgets6 libbotan-2-19 libssl3 zlib1g qt6-wayland; do
        check "Depends names $lib" grep -qE "(^|, )$lib( |,|$)" <<< "$DEPENDS"
    done
    # The package holds exactly the install tree's files.
    (cd "$ROOT" && find . -type f | sort) > "$WORK/tree.txt"
    dpkg-deb -c "$DEB" | awk '$1 ~ /^-/ { print $6 }' | sort > "$WORK/deb.txt"
    check "the package holds the install tree's files" diff "$WORK/tree.txt" "$WORK/deb.txt"
else
    fail "no quorval_*.deb in $WORK/deb"
fi

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES package checks failed"
    exit 1
fi
echo "All package checks passed"
