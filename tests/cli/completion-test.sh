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
touch "$scratch/banks/live.syx" "$scratch/banks/STUDIO.SYX" "$scratch/banks/notes.txt"
export PATH="$scratch/bin:$PATH"
cd "$scratch/banks"
source "$completion"

failures=0
# expect "WORDS OF THE COMMAND LINE" "COMPLETIONS, sorted, one space apart"
expect() {
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _a3bank
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
    if [[ $got != "$2" ]]; then
        echo "FAIL: '$1' completes to '$got', expected '$2'" >&2
        failures=$((failures + 1))
    fi
}

expect "a3bank re" "receive rename"
expect "a3bank send bank.syx --r" "--rate"
expect "a3bank new out.syx -" "--force"
expect "a3bank list live.syx " "STUDIO.SYX live.syx older"
expect "a3bank rename live.syx " ""
expect "a3bank pdf live.syx --paper " "A4 Letter"
expect "a3bank send live.syx --port " 'A3\ in:MIDI Synth\ in\ 1'
expect "a3bank send live.syx --port s" 'Synth\ in\ 1'
expect "a3bank receive new.syx --port " 'A3\ out:MIDI'

[ $failures -eq 0 ] && echo "every completion as expected"
exit $((failures > 0))
