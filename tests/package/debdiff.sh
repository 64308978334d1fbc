#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Names what differs between two .deb files: the ar members, then within the
# control and data archives each file whose bytes differ and each entry whose
# mode, owner, size or time differs. Prints the names on one line.
# Usage: debdiff.sh A.deb B.deb WORK_DIR
set -uo pipefail
A="$(realpath "$1")" B="$(realpath "$2")" WORK="$3"
rm -rf "$WORK"
mkdir -p "$WORK/a" "$WORK/b"
(cd "$WORK/a" && ar x "$A") && (cd "$WORK/b" && ar x "$B") || { echo "(not ar archives)"; exit 0; }
diffs=()
[ "$(ar t "$A")" = "$(ar t "$B")" ] || diffs+=("ar member list: $(ar t "$A" | tr '\n' ' ')/ $(ar t "$B" | tr '\n' ' ')")
[ "$(ar tv "$A")" = "$(ar tv "$B")" ] || diffs+=("ar headers (member times or modes)")
for member in $(ar t "$A"); do
    cmp -s "$WORK/a/$member" "$WORK/b/$member" && continue
    case "$member" in
        *.tar*)
            for side in a b; do
                mkdir -p "$WORK/$side/${member%%.*}"
                tar -xf "$WORK/$side/$member" -C "$WORK/$side/${member%%.*}"
                tar -tvf "$WORK/$side/$member" --full-time | sort -k6 > "$WORK/$side/$member.list"
            done
            inner=$(diff -rq "$WORK/a/${member%%.*}" "$WORK/b/${member%%.*}" 2>&1 | sed "s|$WORK/a/||; s|$WORK/b/[^ ]*||")
            [ -n "$inner" ] && diffs+=("$member: $(echo "$inner" | tr '\n' ';')")
            meta=$(diff "$WORK/a/$member.list" "$WORK/b/$member.list" | grep '^<' | awk '{ print $NF }')
            [ -n "$meta" ] && diffs+=("$member entries: $(echo "$meta" | tr '\n' ' ')")
            [ -z "$inner$meta" ] && diffs+=("$member (its compression or order)")
            ;;
        *) diffs+=("$member") ;;
    esac
done
printf '%s; ' "${diffs[@]}"
echo
