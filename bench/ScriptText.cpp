#include "ScriptText.h"

#include <cctype>
#include <string_view>

namespace runel::bench {
namespace {

constexpr const char *folderWords[] = { "git", "docker", "kubernetes", "aws", "gcloud", "backup",
    "media", "network", "system", "dev", "database", "monitoring", "notes", "work", "home", "audio",
    "video", "photos", "web", "nginx", "ssh", "vpn", "printer", "bluetooth", "display", "power",
    "clipboard", "dotfiles", "python", "rust", "node", "java", "golang", "build", "release",
    "deploy", "staging", "production", "logs", "cron", "mail", "calendar", "chat", "music",
    "podcasts", "downloads", "archive", "projects", "clients", "infra", "terraform", "ansible",
    "homelab", "raspberry-pi", "nas", "router", "firewall", "certs", "secrets", "postgres", "redis",
    "mysql", "sqlite", "search", "utils", "misc", "text", "images", "pdf", "scans", "fonts",
    "themes", "keyboard", "screens", "wallpapers", "games", "steam", "wine", "office", "laptop",
    "desktop", "server", "k3s", "helm", "ci", "qa", "perf", "i18n", "x11", "wayland" };

constexpr const char *verbs[] = { "start", "stop", "restart", "open", "close", "sync", "backup",
    "restore", "clean", "build", "deploy", "test", "check", "update", "upgrade", "install",
    "remove", "toggle", "show", "hide", "list", "watch", "tail", "export", "import", "convert",
    "resize", "compress", "extract", "mount", "unmount", "connect", "disconnect", "ping", "fetch",
    "push", "pull", "rebase", "release", "tag", "lint", "format", "run", "kill", "reload", "rotate",
    "archive", "scan", "print", "copy", "record", "play", "pause", "mute", "share", "login",
    "logout", "lock", "unlock", "new", "edit", "diff", "grep", "bump", "prune" };

constexpr const char *nouns[] = { "nginx", "postgres", "redis", "docker", "vpn", "wifi",
    "bluetooth", "photos", "music", "notes", "logs", "cache", "branch", "repo", "release",
    "staging", "prod", "dev-server", "db", "backups", "screenshots", "downloads", "mail",
    "calendar", "keys", "certs", "dns", "firewall", "printer", "monitor", "volume", "brightness",
    "theme", "wallpaper", "clipboard", "session", "containers", "images", "volumes", "pods",
    "cluster", "nodes", "bucket", "lambda", "queue", "cron", "timers", "services", "journal",
    "kernel", "packages", "flatpaks", "pip", "npm", "cargo", "venv", "tests", "coverage", "docs",
    "site", "blog", "feeds", "podcasts", "videos", "pdfs", "scans", "invoices", "receipts", "taxes",
    "todo", "meeting-notes", "standup", "timesheet", "hosts", "ssh-config", "dotfiles", "zshrc",
    "vimrc", "fonts", "icons", "usb", "disk", "swap", "battery", "screen", "mic" };

constexpr const char *qualifiers[] = { "all", "local", "remote", "fast", "full", "daily", "weekly",
    "v2", "old", "eu", "us", "home", "work", "2", "3", "dry-run", "force", "quiet" };

constexpr const char *icons[] = { "utilities-terminal", "network-server", "folder-download",
    "media-playback-start", "drive-harddisk", "preferences-system", "mail-send", "security-high",
    "applications-development", "camera-photo", "audio-volume-high", "system-software-update",
    "edit-copy", "x-office-calendar", "weather-clear" };

constexpr const char *commands[] = { "curl", "jq", "rsync", "ssh", "git", "docker", "systemctl",
    "notify-send", "xdg-open", "wl-copy", "ffmpeg", "convert", "tar", "gzip", "awk", "sed" };

// Bash blocks; %N%, %V%, %C% and %K% are replaced by a noun, a verb, a command and a number.
constexpr const char *blocks[] = {
    R"sh(log() {
    printf '%s %s\n' "$(date +%H:%M:%S)" "$*" >&2
}
)sh",
    R"sh(usage() {
    echo "usage: ${0##*/} [-n] [-v] [%N%]" >&2
    exit 2
}
)sh",
    R"sh(TARGET="${TARGET:-%N%}"
STATE_DIR="${XDG_STATE_HOME:-$HOME/.local/state}/%N%"
mkdir -p "$STATE_DIR"
)sh",
    R"sh(for cmd in %C% jq; do
    command -v "$cmd" >/dev/null 2>&1 || { echo "missing: $cmd" >&2; exit 1; }
done
)sh",
    R"sh(case "${1:-}" in
    -n|--dry-run) DRY_RUN=1; shift ;;
    -v|--verbose) set -x; shift ;;
    -h|--help) usage ;;
esac
)sh",
    R"sh(while IFS= read -r line; do
    [[ -z "$line" || "$line" == \#* ]] && continue
    log "%V%: $line"
done < "${CONFIG:-$HOME/.config/%N%.list}"
)sh",
    R"sh(if systemctl --user is-active --quiet "%N%.service"; then
    systemctl --user %V% "%N%.service"
else
    log "%N% is not running"
fi
)sh",
    R"sh(cleanup() {
    rm -rf -- "${TMP_DIR:-}"
}
TMP_DIR="$(mktemp -d)"
trap cleanup EXIT
)sh",
    R"sh(notify-send --app-name=runel --icon=dialog-information "%V% %N%" "done in ${SECONDS}s"
)sh",
    R"sh(rsync -a --delete --exclude '.cache/' "$HOME/%N%/" "backup:/srv/%N%/" \
    --log-file="$STATE_DIR/rsync.log"
)sh",
    R"sh(for attempt in $(seq 1 %K%); do
    if curl -fsS --max-time 10 "https://%N%.example.org/health"; then
        break
    fi
    log "attempt $attempt failed, retrying"
    sleep "$attempt"
done
)sh",
    R"sh(find "$HOME/%N%" -type f -mtime +%K% -print -delete | wc -l
)sh",
    R"sh(# Keep the last %K% runs; older ones only fill the disk. The %N% folder is
# shared with the other machines, so never delete files another host still uses.
)sh",
    R"sh(count=$(%C% --version 2>/dev/null | awk 'NR==1 { print $NF }')
echo "%V% %N% with %C% ${count:-unknown}"
)sh",
    R"sh(if [[ "${DRY_RUN:-0}" == 1 ]]; then
    echo "would %V% %N%"
    exit 0
fi
)sh",
};

void replaceAll(std::string &text, std::string_view from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string titleOf(const std::string &name)
{
    std::string title;
    bool wordStart = true;
    for (const char c : name) {
        if (c == '-' || c == '_') {
            title += ' ';
            wordStart = true;
            continue;
        }
        title += wordStart ? char(std::toupper(static_cast<unsigned char>(c))) : c;
        wordStart = false;
    }
    return title;
}

std::string header(Random &random, const std::string &name)
{
    std::string text = "#!/usr/bin/env bash\n# " + titleOf(name) + ": "
        + std::string(random.pick(verbs)) + " the " + random.pick(nouns) + " for " + name + ".\n";
    std::string annotations;
    if (random.chance(55))
        annotations += "# @runel.label " + titleOf(name) + "\n";
    if (random.chance(35))
        annotations += "# @runel.icon " + std::string(random.pick(icons)) + "\n";
    if (random.chance(8))
        annotations += "# @runel.pinned\n";
    if (random.chance(10))
        annotations += "# @runel.output background\n";
    if (random.chance(5))
        annotations += R"sh(# @runel.argument {"placeholder": "Host", "value": "{clipboard}"})sh"
                       "\n";
    if (annotations.empty())
        annotations = "# @runel.label " + titleOf(name) + "\n";
    return text + annotations + "\nset -euo pipefail\n\n";
}

} // namespace

std::string folderName(Random &random)
{
    return random.pick(folderWords);
}

std::string scriptName(Random &random)
{
    const char separator = random.chance(20) ? '_' : '-';
    std::string name = std::string(random.pick(verbs)) + separator + random.pick(nouns);
    if (random.chance(30))
        name += separator + std::string(random.pick(qualifiers));
    return name;
}

std::string scriptText(Random &random, const std::string &name)
{
    constexpr size_t longestBlock = 400;
    const size_t target = size_t(random.between(1024, 3072 - int(longestBlock)));
    std::string text = header(random, name);
    while (text.size() < target) {
        std::string block = random.pick(blocks);
        replaceAll(block, "%N%", random.pick(nouns));
        replaceAll(block, "%V%", random.pick(verbs));
        replaceAll(block, "%C%", random.pick(commands));
        replaceAll(block, "%K%", std::to_string(random.between(2, 30)));
        text += block + "\n";
    }
    return text;
}

} // namespace runel::bench
