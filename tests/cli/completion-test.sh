#!/usr/bin/env bash
# a3bank's bash completion, driven as bash drives it, against a3bank's real
# --help and made-up MIDI ports.
# Usage: completion-test.sh A3BANK COMPLETION_SCRIPT
set -uo pipefail
a3bank=$(realpath "$1") completion=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# An a3bank first on PATH with ports of its own, names with spaces among them.
mkdir "$scratch/bin" "$scratch/banks" "$scratch/banks/older"
cat >"$scratch/bin/a3bank" <<FAKE
#!/bin/sh
[ "\$1" = ports ] || exec "$a3bank" "\$@"
printf 'input\tJACK\tA3 out:MIDI\noutput\tJACK\tA3 in:MIDI\noutput\tALSA sequencer\tSynth in 1\n'
FAKE
chmod +x "$scratch/bin/a3bank"
touch "$scratch/banks/live.syx" "$scratch/banks/my bank.syx" "$scratch/banks/STUDIO.SYX" "$scratch/banks/notes.txt" \
    "$scratch/banks/-odd.syx" "$scratch/banks/song.mid" "$scratch/banks/pack.zip"
export PATH="$scratch/bin:$PATH"
cd "$scratch/banks" || exit 1
# shellcheck source=/dev/null
source "$completion"

failures=0
# expect "COMPLETIONS, sorted, one space apart" WORD... (the words as bash
# splits the command line, the last the one being completed)
expect() {
    local expected=$1 got
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    _a3bank
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$*' completes to '$got', expected '$expected'" >&2
        failures=$((failures + 1))
    fi
}

expect "receive recover rename" a3bank re
expect "help" a3bank he
expect "--help --version" a3bank --
expect "pdf ports" a3bank help p
expect "copy" a3bank --help co
expect "" a3bank help send ""
expect "--rate" a3bank send bank.syx --r
expect "--force --help" a3bank new out.syx -
expect "--help" a3bank list --h
expect "" a3bank list -- --h
expect "-odd.syx STUDIO.SYX live.syx my bank.syx older pack.zip song.mid" a3bank list live.syx ""
expect "-odd.syx STUDIO.SYX live.syx my bank.syx older" a3bank copy live.syx 1 ""
expect "older song.mid" a3bank export live.syx -o ""
expect "-odd.syx STUDIO.SYX live.syx my bank.syx older" a3bank recover song.mid -o ""
expect "older" a3bank extract pack.zip -o ""
expect "-odd.syx" a3bank list -- -
expect "my bank.syx" a3bank list 'my\ b'
expect "" a3bank rename live.syx ""
expect "older" a3bank find hall ""
expect "--same" a3bank find --s
expect "A4 Letter" a3bank pdf live.syx --paper ""
expect 'A3\ in:MIDI Synth\ in\ 1' a3bank send live.syx --port ""
expect 'Synth\ in\ 1' a3bank send live.syx --port s
expect 'A3\ out:MIDI' a3bank receive new.syx --port ""
expect "MIDI" a3bank receive new.syx --port 'a3\ out' : m

[ $failures -eq 0 ] && echo "every completion as expected"
exit $((failures > 0))
