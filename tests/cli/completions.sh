#!/usr/bin/env bash
# The shell completions as a user meets them: what <TAB> offers after a command line, in bash,
# fish and zsh (the last two when installed), with the key sequences for "runel run" read from
# the built runel over a scripts folder of its own.
# Usage: completions.sh RUNEL_BINARY COMPLETIONS_FOLDER
set -uo pipefail
runel=$1 completions=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME/runel" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"

# Two scripts keys reach in git/, one with a quote in its name, two whose keys clash (no keys
# reach either) and one ignored.
dir=$work/scripts
mkdir -p "$dir/git" "$dir/web" "$work/configured"
for file in git/deploy.sh git/docs.sh Hello.sh hello.sh 'web/say "hi".sh' web/skip.sh; do
    echo 'echo x' >"$dir/$file"
done
echo '# @runel.ignore' >>"$dir/web/skip.sh"
echo 'echo x' >"$work/configured/only.sh"
printf '{"scriptsDir": "%s"}\n' "$work/configured" >"$XDG_CONFIG_HOME/runel/settings.json"

# Prints the candidates for the command line (its last word is the one completed), one a line,
# sorted; fish and zsh as "candidate<TAB>description" where they describe them.
complete_bash() {
    source "$completions/runel.bash"
    COMP_WORDS=("$runel" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _runel
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
complete_fish() {
    local line
    printf -v line '%q ' "$runel" "$@"
    fish --no-config -c "source $(printf %q "$completions/runel.fish"); complete -C '${line% }'" |
        sort
}
# zsh: the key sequences alone, through the function "runel run" completes with, with the
# options as _arguments hands them over.
complete_zsh() {
    local dir_given=""
    [[ ${1:-} == --dir ]] && dir_given=$2
    zsh -f -c '
        _arguments() { return 1 }
        _describe() { print -rl -- ${(P)${@[-1]}} }
        source "$1/_runel"
        local _runel_program=$2
        local -A opt_args
        [[ -n $3 ]] && opt_args[--dir]=$3
        _runel_keys' zsh "$completions" "$runel" "$dir_given" | sed 's/:/\t/' | sort
}

failures=0
# expect SHELL EXPECTED WORDS...: EXPECTED holds the candidates, one a line.
expect() {
    local shell=$1 expected=$2
    shift 2
    if ! command -v "$shell" >/dev/null; then
        echo "SKIP $shell: $*"
        return
    fi
    local actual
    actual=$("complete_$shell" "$@")
    if [[ $actual == "$expected" ]]; then
        echo "PASS $shell: $*"
    else
        echo "FAIL $shell: runel $*"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}

ws=$(printf 'ws\tSay "hi"')
expect bash $'gde\ngdo\nws' run --dir "$dir" ''
expect bash $'gde\ngdo' run --dir="$dir" g
expect bash 'o' run ''
expect bash $'--arg\n--dir\n--help\n--modifiers' run --
expect bash $'alt,ctrl\nalt,shift' run --modifiers alt,
expect bash $'reload\nresolve\nrun' r
expect bash $'--dir\n--help\n--json' check --
expect bash "$dir/git/deploy.sh" check "$dir/git/dep"
expect bash 'runel://toggle' open runel://t
expect bash '--keys' show --k
expect bash 'o' show --keys ''
expect fish $'o\tOnly' show --keys ''
expect fish $'gde\tDeploy\ngdo\tDocs\n'"$ws" run --dir "$dir" ''
expect fish $'gde\tDeploy\ngdo\tDocs' run --dir="$dir" g
expect fish $'o\tOnly' run ''
expect zsh $'gde\tDeploy\ngdo\tDocs\n'"$ws" --dir "$dir"
expect zsh $'o\tOnly'

if ((failures)); then
    echo "$failures completion check(s) failed"
    exit 1
fi
