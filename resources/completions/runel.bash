# bash completion for runel: commands, their options, and for "runel run" and "runel show --keys"
# the key sequences of the scripts that keys can reach, read from "runel list --json" in the folder that --dir names
# on the command line (else the configured one).

# Prints the key sequence of every script that keys reach, one a line. "runel list --json" puts
# one object a line; a string in it holds no unescaped quote, so the member is found by its text.
_runel_keys()
{
    local -a list=("$1" list --json)
    [[ -n $2 ]] && list+=(--dir "$2")
    "${list[@]}" 2>/dev/null | sed -n \
        's/.*"keys":"\(\([^"\\]\|\\.\)*\)","sequenceStatus":"valid".*/\1/p' |
        sed -e 's/\\"/"/g' -e 's/\\\\/\\/g'
}

_runel()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list check resolve run search log show hide toggle toggle-search reload settings
        quit open help"
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
        return
    fi

    local command=${COMP_WORDS[1]} dir="" i
    for ((i = 2; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --dir) dir=${COMP_WORDS[i + 1]} ;;
            --dir=*) dir=${COMP_WORDS[i]#--dir=} ;;
        esac
    done
    dir=${dir/#\~/$HOME}

    case $prev in
        --dir)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --modifiers)
            # Each modifier once: those before the last comma are left out.
            local held=${cur%"${cur##*,}"} free="" name
            for name in alt ctrl shift; do
                [[ ,$held == *,$name,* ]] || free+=" $name"
            done
            mapfile -t COMPREPLY < <(compgen -P "$held" -W "$free" -- "${cur##*,}")
            compopt -o nospace 2>/dev/null
            return
            ;;
        --arg) return ;;
        --keys)
            # What "runel show --keys" plays: the sequences of the configured folder.
            _runel_complete_keys "${COMP_WORDS[0]}" "" "$cur"
            return
            ;;
    esac

    local options="--help"
    case $command in
        list) options="--dir --json --help" ;;
        check)
            # Scripts and folders to check, and the options.
            if [[ $cur != -* ]]; then
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                return
            fi
            options="--dir --json --help"
            ;;
        resolve | search) options="--dir --json --help" ;;
        run) options="--modifiers --arg --dir --help" ;;
        log) options="--json --help" ;;
        show) options="--keys --help" ;;
        help)
            ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
            return
            ;;
        open)
            mapfile -t COMPREPLY < <(compgen -W "runel://show runel://hide runel://toggle" -- "$cur")
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    [[ $command == run ]] && _runel_complete_keys "${COMP_WORDS[0]}" "$dir" "$cur"
}

# Sets COMPREPLY to the key sequences (of folder $2, else the configured one) that begin with $3,
# quoted for the shell.
_runel_complete_keys()
{
    local keys key
    keys=$(_runel_keys "$1" "$2")
    COMPREPLY=()
    while IFS= read -r key; do
        [[ -n $key && $key == "$3"* ]] && COMPREPLY+=("$(printf '%q' "$key")")
    done <<<"$keys"
}

complete -F _runel runel
