# Bash completion for a3bank. The commands, their options and what each
# operand is come from `a3bank --help` of the program being completed, so that
# they are always that program's own.

# The values of an operand or option value named kind: bank files, PDF files,
# paper names, or the MIDI ports that the command can use. Names may hold
# spaces: each is matched against the word as typed, unquoted, and bash or
# printf quotes it back.
_a3bank_values()
{
    local kind=$1 program=$3 command=$4 typed=${2//\\/}
    typed=${typed#[\"\']}
    case $kind in
    FILE | OUTFILE | SRC | DST | A | B | OUT)
        compopt -o filenames 2>/dev/null # none when called outside a completion
        mapfile -t COMPREPLY < <(compgen -d -- "$typed"; compgen -f -X '!*.[sS][yY][xX]' -- "$typed")
        ;;
    OUT.pdf)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$typed"; compgen -f -X '!*.[pP][dD][fF]' -- "$typed")
        ;;
    *'|'*) mapfile -t COMPREPLY < <(compgen -W "${kind//|/ }" -- "$typed") ;;
    PORT)
        # `ports` prints direction, system and name, separated by tabs; send
        # needs an output, receive an input. As --port takes them, a name
        # matches by any part of it in any case.
        local wanted=output direction name
        [[ $command == receive ]] && wanted=input
        while IFS=$'\t' read -r direction _ name; do
            [[ $direction == "$wanted" && ${name,,} == *"${typed,,}"* ]] &&
                COMPREPLY+=("$(printf '%q' "$name")")
        done < <("$program" ports 2>/dev/null)
        ;;
    esac
}

_a3bank()
{
    local cur=${COMP_WORDS[COMP_CWORD]} program=${COMP_WORDS[0]/#\~/$HOME}
    COMPREPLY=()
    # "  send FILE --port PORT [--rate BYTES_PER_S]   send the bank...": the
    # synopsis of each command, without its help.
    local synopses
    synopses=$("$program" --help 2>/dev/null | sed -n 's/^  \([a-z][^ ]*\( [^ ][^ ]*\)*\).*/\1/p')
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$(cut -d' ' -f1 <<<"$synopses") --help --version" -- "$cur")
        return
    fi
    local command=${COMP_WORDS[1]} word option=
    local -a operands=() options=()
    local -A valueOf=()
    for word in $(awk -v command="$command" '$1 == command' <<<"$synopses" | tr -d '[]'); do
        if [[ $word == -* ]]; then
            options+=("$word")
            valueOf[$word]=
            option=$word
            continue
        elif [[ -n $option ]]; then
            valueOf[$option]=$word
        elif [[ $word != "$command" ]]; then
            operands+=("$word")
        fi
        option=
    done
    local previous=${COMP_WORDS[COMP_CWORD - 1]}
    if [[ $previous == -* && -n ${valueOf[$previous]:-} ]]; then
        _a3bank_values "${valueOf[$previous]}" "$cur" "$program" "$command"
        return
    fi
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${options[*]}" -- "$cur")
        return
    fi
    # Which operand this word is: count the words before it that are
    # neither options nor their values; the last operand may repeat (FILE...).
    local index=0 k last=$((${#operands[@]} - 1))
    for ((k = 2; k < COMP_CWORD; k++)); do
        word=${COMP_WORDS[k]}
        if [[ $word != -* ]]; then
            index=$((index + 1))
        elif [[ -n ${valueOf[$word]:-} ]]; then
            k=$((k + 1))
        fi
    done
    if ((index > last)); then
        [[ $last -ge 0 && ${operands[last]} == *... ]] || return
        index=$last
    fi
    _a3bank_values "${operands[index]%...}" "$cur" "$program" "$command"
}

complete -F _a3bank a3bank
