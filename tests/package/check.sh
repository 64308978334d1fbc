#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks what `cmake --install` and `cpack -G DEB` make of this build: every
# file in place, the desktop entry and the metainfo valid, one id throughout,
# the package's dependencies declared, the manual page, lintian and
# hardening-check clean, and a second build folder giving the same package
# byte for byte. Also that every source file names its licence.
# Usage: check.sh BUILD_DIR APP_ID
set -uo pipefail
BUILD="$(cd "$1" && pwd)"
ID="$2"
SRC="$(cd "$(dirname "$0")/../.." && pwd)"
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
check "bin/quorval-cli is an executable" test -x "$ROOT/usr/bin/quorval-cli"
COMPLETION="$ROOT/usr/share/bash-completion/completions/quorval-cli"
check "bash completion for quorval-cli" bash -n "$COMPLETION"
check "the completion offers the commands" grep -q "rsa-decrypt" "$COMPLETION"
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
unexpected=$(cd "$ROOT" && find . -type f | grep -v -e "^./usr/bin/quorval\(-cli\)\?$" -e "/$ID\.\(desktop\|metainfo\.xml\|png\|svg\)$" \
    -e "^./usr/share/man/man1/quorval\(-cli\)\?\.1\.gz$" -e "^./usr/share/bash-completion/completions/quorval-cli$" -e "^./usr/share/doc/quorval/\(copyright\|changelog\.gz\)$" \
    -e "^./usr/share/lintian/overrides/quorval$")
check "nothing else installed${unexpected:+: $unexpected}" test -z "$unexpected"

# The desktop entry and the metainfo: valid, and naming each other and the icon by the one id.
check "desktop-file-validate" desktop-file-validate "$DESKTOP"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$METAINFO"
for line in "Exec=quorval" "Icon=$ID" "Categories=Utility;Security;" "StartupWMClass=Quorval"; do
    check "desktop entry has $line" grep -qx "$line" "$DESKTOP"
done
check "metainfo id is $ID" grep -q "<id>$ID</id>" "$METAINFO"
check "metainfo launches $ID.desktop" grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$METAINFO"

# The licence, the changelog and the manual page.
check "metainfo names the project's licence" grep -q "<project_license>Apache-2.0</project_license>" "$METAINFO"
check "copyright file in the machine-readable format, Apache-2.0" \
    grep -qx "License: Apache-2.0" "$SHARE/doc/quorval/copyright"
check "changelog.gz is a Debian changelog of version 1.00" \
    test "$(gzip -dc "$SHARE/doc/quorval/changelog.gz" | dpkg-parsechangelog -l - -SVersion 2>/dev/null)" = 1.00
for page in quorval quorval-cli; do
    MAN="$SHARE/man/man1/$page.1.gz"
    man_warnings=$(MANWIDTH=80 man --warnings -l "$MAN" 2>&1 > "$WORK/man-$page.txt")
    check "man -l shows $page(1) without warnings${man_warnings:+: $man_warnings}" \
        test -z "$man_warnings" -a -s "$WORK/man-$page.txt"
done
# Every source file of ours starts with the licence line (after a shebang):
# the committed ones, or outside git all but the build folders'.
source_files() {
    git -C "$SRC" ls-files 2>/dev/null ||
        (cd "$SRC" && find . \( -path './build*' -o -name .git \) -prune -o -type f -print | sed 's|^\./||')
}
unlicensed=$(cd "$SRC" && source_files | grep -E '(\.(cpp|h|sh|py)|(^|/)CMakeLists\.txt)$' |
    while read -r f; do
        head -n 2 "$f" | sed '/^#!/d' | head -n 1 | grep -qE '^(//|#) SPDX-License-Identifier: Apache-2.0$' || echo "$f"
    done)
check "every source file starts with its SPDX line${unlicensed:+; not: $(echo $unlicensed)}" test -z "$unlicensed"

# The Debian package; every time stamp in it is the last commit's, as scripts/package.sh sets it.
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$SRC" log -1 --format=%ct 2>/dev/null ||
    dpkg-parsechangelog -l "$SRC/packaging/changelog" -STimestamp)}"
export SOURCE_DATE_EPOCH
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

    # lintian: no error, no warning (the overrides it reads are in the package).
    lintian --tag-display-limit 0 --display-info "$DEB" > "$WORK/lintian.txt" 2>&1
    grep -v "root privileges" "$WORK/lintian.txt" | sed 's/^/      /'
    check "lintian reports no error and no warning" test -z "$(grep -E '^[EW]: ' "$WORK/lintian.txt")"

    # Hardening, on the binary the package installs. Debian 12's own start files
    # (crt1.o, crti.o) carry no control-flow note, so no binary linked here gets
    # one: that line is checked on our own objects instead.
    mkdir -p "$WORK/unpacked"
    dpkg-deb -x "$DEB" "$WORK/unpacked"
    for program in quorval quorval-cli; do
        hardening-check --nocfprotection "$WORK/unpacked/usr/bin/$program" > "$WORK/hardening-$program.txt" 2>&1
        hardened=$?
        sed 's/^/      /' "$WORK/hardening-$program.txt"
        check "hardening-check $program: every protection present" test "$hardened" -eq 0
        for line in "Position Independent Executable: yes" "Stack protected: yes" "Fortify Source functions: yes" \
            "Read-only relocations: yes" "Immediate binding: yes"; do
            check "hardening-check $program: $line" grep -qF "$line" "$WORK/hardening-$program.txt"
        done
    done
    for obj in "$BUILD"/libquorval_engine.a "$BUILD"/libquorval_logic.a "$BUILD"/libquorval_qtui.a \
        "$BUILD"/libquorval_cli.a "$BUILD"/CMakeFiles/quorval.dir/app/main.cpp.o \
        "$BUILD"/CMakeFiles/quorval-cli.dir/cli/main.cpp.o; do
        members=$(readelf -n "$obj" | grep -c '^File:')
        marked=$(readelf -n "$obj" | grep -c 'x86 feature: IBT, SHSTK')
        check "control-flow protection in every object of ${obj#"$BUILD"/}" test "$marked" -ge 1 -a "$marked" -ge "$members"
    done

    # Reproducible: a second build folder, the program alone, gives the same bytes.
    # It keeps its objects between runs, as the first folder does.
    SECOND="$BUILD/package-second"
    second_config=(-DCMAKE_BUILD_TYPE=Release -DQUORVAL_BUILD_TESTS=OFF -DQUORVAL_BUILD_BENCH=OFF)
    for var in CMAKE_BUILD_TYPE CMAKE_CXX_COMPILER CMAKE_CXX_COMPILER_LAUNCHER CMAKE_CXX_FLAGS QUORVAL_HARDEN \
        QUORVAL_UNITY_BUILD CPACK_PACKAGE_CONTACT; do
        value=$(sed -n "s/^$var:[A-Z]*=//p" "$BUILD/CMakeCache.txt")
        [ -n "$value" ] && second_config+=("-D$var=$value")
    done
    if cmake -S "$SRC" -B "$SECOND" "${second_config[@]}" > "$WORK/second.log" 2>&1 &&
        cmake --build "$SECOND" -j"$(nproc)" --target quorval quorval-cli >> "$WORK/second.log" 2>&1 &&
        (cd "$SECOND" && cpack -G DEB -B "$WORK/deb2") >> "$WORK/second.log" 2>&1; then
        DEB2=$(find "$WORK/deb2" -maxdepth 1 -name 'quorval_*.deb' | head -n 1)
        if cmp -s "$DEB" "$DEB2"; then
            pass "two build folders give the same package, byte for byte"
        else
            fail "two build folders give different packages; differing: $(bash "$SRC/tests/package/debdiff.sh" "$DEB" "$DEB2" "$WORK/debdiff")"
        fi
    else
        tail -n 30 "$WORK/second.log"
        fail "the second build folder's package"
    fi
else
    fail "no quorval_*.deb in $WORK/deb"
fi

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES package checks failed"
    exit 1
fi
echo "All package checks passed"
