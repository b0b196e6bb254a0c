#!/usr/bin/env bash
# a3bank's manual, as man renders it, must give every command of
# `a3bank --help` with the same synopsis (operands and options), and no other,
# and every global option of it.
# Usage: manual-matches-help.sh A3BANK MANUAL_PAGE
set -euo pipefail
a3bank=$1 page=$2

rendered=$(groff -man -Tascii -P-cbou "$page")

# The tags of a section of the rendered page: 7 columns in, where those of
# its top-level entries start (their text is indented further, or follows a
# short tag after two spaces).
section_tags() {
    awk -v section="$1" '$0 == section {inside = 1; next} /^[A-Z]/ {inside = 0}
        inside && /^       [^ ]/ {sub(/^ +/, ""); sub(/  .*/, ""); print}' <<<"$rendered"
}
# The entries of a part of `a3bank --help`, without their help text.
help_entries() {
    "$a3bank" --help | awk -v part="$1" '$0 == part {inside = 1; next} /^$/ {inside = 0}
        inside && /^  [^ ]/ {sub(/^  /, ""); sub(/  .*/, ""); print}'
}

status=0
if ! diff -u --label "a3bank --help" <(help_entries Commands: | sort) \
    --label "$page COMMANDS" <(section_tags COMMANDS | sort); then
    echo "FAIL: the commands of $page differ from those of a3bank --help" >&2
    status=1
fi
manual_options=$(section_tags OPTIONS | sed 's/, /\n/g')
for option in $(help_entries Options:); do
    if ! grep -qx -- "$option" <<<"$manual_options"; then
        echo "FAIL: $page has no entry for the option $option" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "$(help_entries Commands: | wc -l) commands and their options match"
exit $status
