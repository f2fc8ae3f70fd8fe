#include "LaunchAtLogin.h"

#include "core/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

Q_LOGGING_CATEGORY(lcLaunchAtLogin, "runel.login.main")

// The characters that make an Exec argument need double quotes.
constexpr QStringView reserved = u" \t\n\"'\\><~|&;$*?#()`";
// The characters that must be escaped with a backslash inside double quotes.
constexpr QStringView escapedInQuotes = u"\"`$\\";

// Whether the entry's main group says Hidden=true.
bool isHidden(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == u"Hidden")
            return line.mid(equals + 1).trimmed() == u"true";
    }
    return false;
}

} // namespace

LaunchAtLogin::LaunchAtLogin(QString autostartDir, QString executable, QObject *parent)
    : QObject(parent)
    , m_autostartDir(std::move(autostartDir))
    , m_executable(std::move(executable))
{ }

QString LaunchAtLogin::entryPath() const
{
    return m_autostartDir + u"/runel.desktop"_s;
}

bool LaunchAtLogin::isEnabled() const
{
    const QString path = entryPath();
    return QFileInfo(path).isFile() && !isHidden(path);
}

Expected<void> LaunchAtLogin::setEnabled(bool enabled)
{
    Expected<void> done = enabled ? write() : remove();
    if (!done) {
        done = Failure { u"Launch at login could not be turned %1: %2."_s.arg(
            enabled ? u"on"_s : u"off"_s, done.error()) };
        qCCritical(lcLaunchAtLogin).noquote() << done.error();
    }
    Q_EMIT isEnabledChanged();
    return done;
}

Expected<void> LaunchAtLogin::write() const
{
    if (!QDir().mkpath(m_autostartDir))
        return Failure { u"cannot create the folder %1"_s.arg(m_autostartDir) };
    // Replaced whole: a full disk leaves the old entry (or none), never half of one.
    return replaceFile(entryPath(), desktopEntry(m_executable).toUtf8());
}

Expected<void> LaunchAtLogin::remove() const
{
    QFile file(entryPath());
    if (!QFileInfo(entryPath()).exists() && !QFileInfo(entryPath()).isSymLink())
        return {};
    if (file.remove())
        return {};
    return Failure { u"cannot remove %1: %2"_s.arg(entryPath(), file.errorString()) };
}

QString LaunchAtLogin::execArgument(const QString &argument)
{
    bool quoted = argument.isEmpty();
    for (QChar c : argument)
        quoted = quoted || reserved.contains(c);
    QString exec;
    for (QChar c : argument) {
        if (quoted && escapedInQuotes.contains(c))
            exec += u'\\';
        exec += c;
        if (c == u'%')
            exec += u'%'; // a field code otherwise
    }
    if (quoted)
        exec = u'"' + exec + u'"';
    // The key's value is a string: its own escapes come on top of the quoting.
    QString value;
    for (QChar c : exec) {
        switch (c.unicode()) {
        case u'\\':
            value += u"\\\\"_s;
            break;
        case u'\n':
            value += u"\\n"_s;
            break;
        case u'\t':
            value += u"\\t"_s;
            break;
        case u'\r':
            value += u"\\r"_s;
            break;
        default:
            value += c;
        }
    }
    return value;
}

QString LaunchAtLogin::desktopEntry(const QString &executable)
{
    return u"[Desktop Entry]\n"
           u"Type=Application\n"
           u"Name=Runel\n"
           u"Comment=Launch scripts instantly.\n"
           u"Exec=%1\n"
           u"Icon=runel\n"
           u"Terminal=false\n"
           u"X-GNOME-Autostart-enabled=true\n"_s.arg(execArgument(executable));
}

QString LaunchAtLogin::commandBesideApp(const QString &appExecutable)
{
    const QString folder = QFileInfo(appExecutable).absolutePath();
    const QString beside = folder + u"/runel"_s;
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(folder + u"/../../bin/runel"_s);
}

} // namespace runel
