#include "Labels.h"

#include "FileItem.h"
#include "core/text/Text.h"

#include <QHash>
#include <QSet>

namespace runel {
namespace {

// Words whose usual spelling is not simply capitalised.
const QHash<QString, QString> &brandNames()
{
    static const QHash<QString, QString> table = [] {
        static constexpr std::pair<const char16_t *, const char16_t *> pairs[] = {
            { u"imessage", u"iMessage" },
            { u"iphone", u"iPhone" },
            { u"ipad", u"iPad" },
            { u"ipados", u"iPadOS" },
            { u"ios", u"iOS" },
            { u"tvos", u"tvOS" },
            { u"watchos", u"watchOS" },
            { u"macos", u"macOS" },
            { u"icloud", u"iCloud" },
            { u"itunes", u"iTunes" },
            { u"imac", u"iMac" },
            { u"macbook", u"MacBook" },
            { u"airpods", u"AirPods" },
            { u"airplay", u"AirPlay" },
            { u"airdrop", u"AirDrop" },
            { u"homekit", u"HomeKit" },
            { u"homepod", u"HomePod" },
            { u"touchid", u"Touch ID" },
            { u"faceid", u"Face ID" },
            { u"applepay", u"Apple Pay" },
            { u"applemusic", u"Apple Music" },
            { u"applescript", u"AppleScript" },
            { u"quicktime", u"QuickTime" },
            { u"iterm", u"iTerm" },
            { u"xcode", u"Xcode" },
            { u"safari", u"Safari" },
            { u"keynote", u"Keynote" },
            { u"garageband", u"GarageBand" },
            { u"logicpro", u"Logic Pro" },
            { u"finalcut", u"Final Cut Pro" },
            { u"siri", u"Siri" },
            { u"whatsapp", u"WhatsApp" },
            { u"telegram", u"Telegram" },
            { u"github", u"GitHub" },
            { u"gitlab", u"GitLab" },
            { u"bitbucket", u"Bitbucket" },
            { u"docker", u"Docker" },
            { u"kubernetes", u"Kubernetes" },
            { u"nodejs", u"Node.js" },
            { u"vscode", u"VS Code" },
            { u"postgresql", u"PostgreSQL" },
            { u"mongodb", u"MongoDB" },
            { u"redis", u"Redis" },
            { u"sqlite", u"SQLite" },
            { u"homebrew", u"Homebrew" },
            { u"npm", u"npm" },
            { u"pnpm", u"pnpm" },
            { u"react", u"React" },
            { u"vue", u"Vue" },
            { u"svelte", u"Svelte" },
            { u"angular", u"Angular" },
            { u"nextjs", u"Next.js" },
            { u"tailwind", u"Tailwind" },
            { u"python", u"Python" },
            { u"golang", u"Go" },
            { u"rabbitmq", u"RabbitMQ" },
            { u"chrome", u"Chrome" },
            { u"firefox", u"Firefox" },
            { u"chromium", u"Chromium" },
            { u"obsidian", u"Obsidian" },
            { u"evernote", u"Evernote" },
            { u"omnifocus", u"OmniFocus" },
            { u"todoist", u"Todoist" },
            { u"fantastical", u"Fantastical" },
            { u"figma", u"Figma" },
            { u"openai", u"OpenAI" },
            { u"chatgpt", u"ChatGPT" },
            { u"claude", u"Claude" },
            { u"copilot", u"Copilot" },
            { u"midjourney", u"Midjourney" },
            { u"perplexity", u"Perplexity" },
            { u"spotify", u"Spotify" },
            { u"youtube", u"YouTube" },
            { u"netflix", u"Netflix" },
            { u"plex", u"Plex" },
            { u"raycast", u"Raycast" },
            { u"alfred", u"Alfred" },
            { u"1password", u"1Password" },
            { u"bitwarden", u"Bitwarden" },
            { u"dropbox", u"Dropbox" },
            { u"onedrive", u"OneDrive" },
            { u"photoshop", u"Photoshop" },
            { u"stripe", u"Stripe" },
            { u"paypal", u"PayPal" },
        };
        QHash<QString, QString> built;
        for (const auto &[word, form] : pairs)
            built.insert(QString::fromUtf16(word), QString::fromUtf16(form));
        return built;
    }();
    return table;
}

const QSet<QString> &acronyms()
{
    static const QSet<QString> words = [] {
        QSet<QString> built;
        for (const char16_t *word :
            { u"url", u"api", u"json", u"html", u"css", u"xml", u"sql", u"ssh", u"vpn", u"dns",
                u"cli", u"gui", u"ui", u"ux", u"http", u"https", u"ftp", u"pdf", u"png", u"svg",
                u"gif", u"jpg", u"aws", u"gcp", u"cpu", u"gpu", u"ci", u"cd", u"cron", u"rest",
                u"rpc", u"gpt", u"llm", u"ocr", u"rgb", u"hex", u"csv", u"yaml", u"toml" })
            built.insert(QString::fromUtf16(word));
        return built;
    }();
    return words;
}

bool hasUpperCase(QStringView word)
{
    for (qsizetype i = 0; i < word.size(); ++i) {
        char32_t c = word[i].unicode();
        if (word[i].isHighSurrogate() && i + 1 < word.size()) {
            c = QChar::surrogateToUcs4(word[i], word[i + 1]);
            ++i;
        }
        if (QChar::isUpper(c))
            return true;
    }
    return false;
}

QString enhanceWord(QStringView word)
{
    if (word.isEmpty() || hasUpperCase(word))
        return word.toString();
    const QString key = word.toString();
    if (const auto brand = brandNames().constFind(key); brand != brandNames().cend())
        return *brand;
    if (acronyms().contains(key))
        return key.toUpper();
    // Capitalise the first character (grapheme), keeping the rest as written.
    const std::vector<QString> characters = text::characters(word);
    QString result = characters.front().toUpper();
    result += word.sliced(characters.front().size());
    return result;
}

} // namespace

QString enhanceLabel(QStringView name)
{
    QString spaced = name.toString();
    spaced.replace(u'-', u' ').replace(u'_', u' ');
    QStringList words;
    for (QStringView word : QStringView(spaced).split(u' '))
        words.append(enhanceWord(word));
    return words.join(u' ');
}

QString componentLabel(QStringView name, bool enhanceLabels)
{
    return enhanceLabels ? enhanceLabel(name) : name.toString();
}

QString displayName(const FileItem &file, bool enhanceLabels)
{
    if (file.metadata.label)
        return *file.metadata.label;
    return componentLabel(file.nameWithoutExtension(), enhanceLabels);
}

std::vector<QString> displayNames(const std::vector<FileItem> &files, bool enhanceLabels)
{
    std::vector<QString> names;
    names.reserve(files.size());
    for (const FileItem &file : files)
        names.push_back(displayName(file, enhanceLabels));
    return names;
}

} // namespace runel
