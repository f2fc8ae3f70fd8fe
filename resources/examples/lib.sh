# Helpers shared by the other examples. Runel lists this file in its health table but never
# offers it to run, because of this line:
# @runel.ignore
#
# A script loads it with
#     source "$(dirname "$0")/../lib.sh"
# ($0 is the script's full path; scripts also run with their own folder as working directory).
# Nothing here assumes more than bash and coreutils: missing desktop tools are reported, not fatal.

# Opens a URL or file with the desktop's default application. Output goes to /dev/null so that
# a browser started from here does not keep the run (and its log) open.
runel_open() {
    if command -v xdg-open >/dev/null 2>&1; then
        xdg-open "$1" </dev/null >/dev/null 2>&1 &
    elif command -v gio >/dev/null 2>&1; then
        gio open "$1" </dev/null >/dev/null 2>&1 &
    else
        echo "Cannot open $1: install xdg-utils" >&2
        return 1
    fi
}

# Shows a desktop notification, or prints the text when notify-send is not installed.
runel_notify() {
    if command -v notify-send >/dev/null 2>&1; then
        notify-send --app-name=Runel "$1" "${2:-}"
    else
        echo "$1${2:+: $2}"
    fi
}

# Puts text on the clipboard; fails when no clipboard tool is installed (wl-clipboard, xclip or
# xsel). Clipboard tools stay running to serve the text, hence the redirections.
runel_copy() {
    if [ -n "${WAYLAND_DISPLAY:-}" ] && command -v wl-copy >/dev/null 2>&1; then
        printf '%s' "$1" | wl-copy >/dev/null 2>&1
    elif command -v xclip >/dev/null 2>&1; then
        printf '%s' "$1" | xclip -selection clipboard >/dev/null 2>&1
    elif command -v xsel >/dev/null 2>&1; then
        printf '%s' "$1" | xsel --clipboard --input >/dev/null 2>&1
    else
        return 1
    fi
}

# Percent-encodes text for use in a URL query.
runel_urlencode() {
    local LC_ALL=C
    local text=$1 out= c i
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        case $c in
        [a-zA-Z0-9.~_-]) out+=$c ;;
        *) printf -v c '%%%02X' "'$c" && out+=$c ;;
        esac
    done
    printf '%s\n' "$out"
}
