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
    FILE | A | B)
        # Banks are read from MIDI files and archives as well.
        compopt -o filenames 2>/dev/null # none when called outside a completion
        mapfile -t COMPREPLY < <(compgen -d -- "$typed"
            for pattern in '*.[sS][yY][xX]' '*.[mM][iI][dD]' '*.[mM][iI][dD][iI]' '*.[sS][mM][fF]' \
                '*.[rR][mM][iI]' '*.[zZ][iI][pP]' '*.[lL][hH][aA]' '*.[lL][zZ][hH]' '*.[tT][aA][rR]' \
                '*.[tT][gG][zZ]' '*.[gG][zZ]' '*.7[zZ]'; do
                compgen -f -X "!$pattern" -- "$typed"
            done)
        ;;
    OUTFILE | SRC | DST | OUT | OUT.syx)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$typed"; compgen -f -X '!*.[sS][yY][xX]' -- "$typed")
        ;;
    OUT.mid)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$typed"; compgen -f -X '!*.[mM][iI][dD]' -- "$typed")
        ;;
    DIR)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$typed")
        ;;
    OUT.pdf)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$typed"; compgen -f -X '!*.[pP][dD][fF]' -- "$typed")
        ;;
    *'|'*) mapfile -t COMPREPLY < <(compgen -W "${kind//|/ }" -- "$typed") ;;
    PORT)
        # `ports` prints direction, system and name, separated by tabs; send
        # needs an output, receive an input. As --port takes them, a name
        # matches by any part of it in any case; but when bash has split the
        # word at a colon, it replaces only what follows the colon, so then
        # only names that start with the word fit, and only their rest is
        # offered.
        local wanted=output direction name split=${typed%:*} skip=0
        [[ $command == receive ]] && wanted=input
        [[ $typed == *:* && $COMP_WORDBREAKS == *:* ]] && skip=$((${#split} + 1))
        while IFS=$'\t' read -r direction _ name; do
            [[ $direction == "$wanted" ]] || continue
            if ((skip)); then
                [[ ${name,,} == "${typed,,}"* ]] || continue
            else
                [[ ${name,,} == *"${typed,,}"* ]] || continue
            fi
            COMPREPLY+=("$(printf '%q' "${name:skip}")")
        done < <("$program" ports 2>/dev/null)
        ;;
    esac
}

_a3bank()
{
    # Bash splits words at colons, which port names hold: "A3\ out:MI" comes
    # as "A3\ out", ":" and "MI". Joined back here.
    local -a words=()
    local k cword=0
    for ((k = 0; k < ${#COMP_WORDS[@]}; k++)); do
        if ((k > 0)) && [[ ${COMP_WORDS[k]} == : || ${COMP_WORDS[k - 1]} == : ]]; then
            words[-1]+=${COMP_WORDS[k]}
        else
            words+=("${COMP_WORDS[k]}")
        fi
        ((k == COMP_CWORD)) && cword=$((${#words[@]} - 1))
    done
    local cur=${words[cword]} program=${words[0]/#\~/$HOME}
    COMPREPLY=()
    # "  send FILE --port PORT [--rate BYTES_PER_S]   send the bank...": the
    # synopsis of each command, without its help.
    local synopses
    synopses=$("$program" --help 2>/dev/null | sed -n 's/^  \([a-z][^ ]*\( [^ ][^ ]*\)*\).*/\1/p')
    local commands
    commands=$(cut -d' ' -f1 <<<"$synopses")
    if ((cword == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$commands help --help --version" -- "$cur")
        return
    fi
    local command=${words[1]} word option=
    if [[ $command == help || $command == --help || $command == -h ]]; then
        ((cword == 2)) && mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        return
    fi
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
    # Which operand this word is: count the words before it that are
    # neither options nor their values; after "--" every word is an operand,
    # and the last operand may repeat (FILE...).
    local index=0 k last=$((${#operands[@]} - 1)) ended=0
    for ((k = 2; k < cword; k++)); do
        word=${words[k]}
        if ((ended)) || [[ $word != -* ]]; then
            index=$((index + 1))
        elif [[ $word == -- ]]; then
            ended=1
        elif [[ -n ${valueOf[$word]:-} ]]; then
            k=$((k + 1))
        fi
    done
    local previous=${words[cword - 1]}
    if ((!ended)) && [[ $previous == -* && -n ${valueOf[$previous]:-} ]]; then
        _a3bank_values "${valueOf[$previous]}" "$cur" "$program" "$command"
        return
    fi
    # Every command also takes --help, which the synopses leave out.
    if ((!ended)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${options[*]} --help" -- "$cur")
        return
    fi
    if ((index > last)); then
        [[ $last -ge 0 && ${operands[last]} == *... ]] || return
        index=$last
    fi
    _a3bank_values "${operands[index]%...}" "$cur" "$program" "$command"
}

complete -F _a3bank a3bank
