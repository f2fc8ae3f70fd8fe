# fish completion for runel: commands, their options, and for "runel run" the key sequences of
# the scripts that keys can reach, with their names, read from "runel list --json" in the folder
# that --dir names on the command line (else the configured one).

set -l runel_commands list check resolve run search log show hide toggle toggle-search reload settings quit open help

# "runel list --json" puts one object a line; a string in it holds no unescaped quote, so each
# member is found by its text. Prints "keys<TAB>name" for every script that keys reach.
function __runel_keys
    set -l tokens (commandline -opc)
    set -l list $tokens[1] list --json
    set -l i 2
    while test $i -le (count $tokens)
        switch $tokens[$i]
            case --dir
                set i (math $i + 1)
                test $i -le (count $tokens); and set list $list --dir $tokens[$i]
            case '--dir=*'
                set list $list --dir (string replace -- --dir= '' $tokens[$i])
        end
        set i (math $i + 1)
    end
    for line in ($list 2>/dev/null)
        string match -q -- '*"sequenceStatus":"valid"*' $line; or continue
        set -l keys (string match -r -g -- '"keys":"((?:[^"\\\\]|\\\\.)*)"' $line)
        set -l name (string match -r -g -- '"name":"((?:[^"\\\\]|\\\\.)*)"' $line)
        test -n "$keys"; or continue
        printf '%s\t%s\n' (string replace -a -- '\\"' '"' $keys | string replace -a -- '\\\\' '\\') \
            (string replace -a -- '\\"' '"' $name | string replace -a -- '\\\\' '\\')
    end
end

complete -c runel -f
complete -c runel -n __fish_use_subcommand -s h -l help -d 'Show the help'
complete -c runel -n __fish_use_subcommand -l version -d 'Show the version'
complete -c runel -n __fish_use_subcommand -a list -d 'Show every script file with its keys'
complete -c runel -n __fish_use_subcommand -a check -d 'Find annotations that do nothing'
complete -c runel -n __fish_use_subcommand -a resolve -d 'Show which scripts typed keys reach'
complete -c runel -n __fish_use_subcommand -a run -d 'Run the script that a key sequence names'
complete -c runel -n __fish_use_subcommand -a search -d 'Show what search in the HUD finds'
complete -c runel -n __fish_use_subcommand -a log -d 'Show the run log'
complete -c runel -n __fish_use_subcommand -a show -d 'Show the HUD, or play keys into it'
complete -c runel -n __fish_use_subcommand -a hide -d 'Hide the HUD'
complete -c runel -n __fish_use_subcommand -a toggle -d 'Show the HUD, or hide it when it is open'
complete -c runel -n __fish_use_subcommand -a toggle-search -d 'Open the HUD in search mode'
complete -c runel -n __fish_use_subcommand -a reload -d 'Reload the scripts folder'
complete -c runel -n __fish_use_subcommand -a settings -d 'Open the settings'
complete -c runel -n __fish_use_subcommand -a quit -d 'Quit the running app'
complete -c runel -n __fish_use_subcommand -a open -d 'Perform a runel:// URL'
complete -c runel -n __fish_use_subcommand -a help -d 'Show the help of a command'

complete -c runel -n "__fish_seen_subcommand_from $runel_commands" -s h -l help -d 'Show the help'
complete -c runel -n '__fish_seen_subcommand_from list check resolve run search' -l dir -r -F \
    -d 'Scan another folder, changing no setting'
complete -c runel -n '__fish_seen_subcommand_from list check resolve search log' -l json \
    -d 'Print JSON instead of a table'
complete -c runel -n '__fish_seen_subcommand_from run' -l modifiers -x -a 'alt ctrl shift' \
    -d 'Modifier keys the script is told about'
complete -c runel -n '__fish_seen_subcommand_from run' -l arg -x \
    -d 'The argument, for a script that asks for one'
complete -c runel -n '__fish_seen_subcommand_from run' -a '(__runel_keys)'
complete -c runel -n '__fish_seen_subcommand_from check' -F
complete -c runel -n '__fish_seen_subcommand_from show' -l keys -x -a '(__runel_keys)' \
    -d 'The keys to play into the HUD'
complete -c runel -n '__fish_seen_subcommand_from open' -a 'runel://show runel://hide runel://toggle'
complete -c runel -n '__fish_seen_subcommand_from help' -a "$runel_commands"
