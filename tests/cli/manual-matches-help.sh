#!/usr/bin/env bash
# a3bank's manual, as man renders it, must give every command of
# `a3bank --help` with the same synopsis (operands and options), and no other,
# every global option of it, and under each command an entry for each option
# that `a3bank COMMAND --help` gives, named the same, and no other.
# Usage: manual-matches-help.sh A3BANK MANUAL_PAGE
set -euo pipefail
a3bank=$1 page=$2

# Wide enough that no synopsis wraps.
rendered=$(groff -man -Tascii -rLL=300n -P-cbou "$page")

# The tags of a section of the rendered page: 7 columns in, where those of
# its top-level entries start (their text is indented further, or follows a
# short tag after two spaces).
section_tags() {
    awk -v section="$1" '$0 == section {inside = 1; next} /^[A-Z]/ {inside = 0}
        inside && /^       [^ ]/ {sub(/^ +/, ""); sub(/  .*/, ""); print}' <<<"$rendered"
}
# The entries of a part ("Commands:", "Options:") of a help text, without
# their help text.
entries() {
    awk -v part="$1" '$0 == part {inside = 1; next} /^$/ {inside = 0}
        inside && /^  [^ ]/ {sub(/^  /, ""); sub(/  .*/, ""); print}'
}
# "COMMAND<TAB>TAG" for each option entry that the manual nests under a
# command (between .RS and .RE), read from the source: rendered, a short tag
# and its text share a line.
manual_command_options() {
    awk '/^\.SH/ {commands = $2 == "COMMANDS"; next}
        /^\.RS/ {nested = 1; next} /^\.RE/ {nested = 0; next}
        /^\.TP/ {tag = commands; next}
        tag {tag = 0; gsub(/\\f[BIR]/, ""); gsub(/\\-/, "-")
            if (nested) print command "\t" $0; else command = $1}' "$page"
}
# The same from `a3bank COMMAND --help` of each command, but for --help,
# which every command has.
help_command_options() {
    local command
    for command in $("$a3bank" --help | entries Commands: | cut -d' ' -f1); do
        "$a3bank" "$command" --help | entries Options: | grep -vx -- --help |
            sed "s/^/$command\t/" || true
    done
}

status=0
if ! diff -u --label "a3bank --help" <("$a3bank" --help | entries Commands: | sort) \
    --label "$page COMMANDS" <(section_tags COMMANDS | sort); then
    echo "FAIL: the commands of $page differ from those of a3bank --help" >&2
    status=1
fi
manual_options=$(section_tags OPTIONS | sed 's/, /\n/g')
while IFS= read -r option; do
    if ! grep -qx -- "$option" <<<"$manual_options"; then
        echo "FAIL: $page has no entry for the option $option" >&2
        status=1
    fi
done < <("$a3bank" --help | entries Options: | sed 's/, /\n/g')
if ! diff -u --label "a3bank COMMAND --help" <(help_command_options | sort) \
    --label "$page COMMANDS" <(manual_command_options | sort); then
    echo "FAIL: the options of a command in $page differ from those of a3bank COMMAND --help" >&2
    status=1
fi
[ $status -eq 0 ] &&
    echo "$("$a3bank" --help | entries Commands: | wc -l) commands and their options match"
exit $status
