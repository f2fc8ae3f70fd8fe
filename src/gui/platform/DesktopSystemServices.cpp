#include "DesktopSystemServices.h"

#include "ApplicationId.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>
#include <atomic>
#include <canberra.h>
#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

Q_LOGGING_CATEGORY(lcDesktop, "runel.desktop")

// ALSA's error handler for the process. Without a sound card libasound reports eight lines for
// every sound libcanberra tries; the first report is said once, the rest are dropped. Called on
// whichever thread plays.
void alsaError(const char *, int, const char *, int, const char *format, ...)
{
    static std::atomic_flag said = ATOMIC_FLAG_INIT;
    if (said.test_and_set())
        return;
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    qCWarning(lcDesktop, "sounds may not play: ALSA says \"%s\" (not repeated)", text);
}

// libasound's default handler writes to standard error. libcanberra loads it with its ALSA
// back end, when it opens a context, if at all: look for it then, and never load it ourselves.
// The handler is process-wide, so it is set once.
void quietAlsa()
{
    static bool quieted = false;
    if (quieted)
        return;
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
    if (!alsa)
        return;
    using Handler = void (*)(const char *, int, const char *, int, const char *, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
        set(&alsaError);
        quieted = true;
    }
    // The back end keeps the library loaded; this only drops the reference NOLOAD took.
    dlclose(alsa);
}

} // namespace

DesktopSystemServices::DesktopSystemServices(QObject *parent)
    : QObject(parent)
{ }

DesktopSystemServices::~DesktopSystemServices()
{
    if (m_soundContext)
        ca_context_destroy(m_soundContext);
}

QString DesktopSystemServices::clipboardText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

ca_context *DesktopSystemServices::soundContext()
{
    if (m_soundContext || m_soundUnavailable)
        return m_soundContext;
    int error = ca_context_create(&m_soundContext);
    if (error == CA_SUCCESS) {
        ca_context_change_props(m_soundContext, CA_PROP_APPLICATION_NAME, "Runel",
            CA_PROP_APPLICATION_ID, qUtf8Printable(applicationId()), nullptr);
        error = ca_context_open(m_soundContext);
    }
    quietAlsa();
    if (error != CA_SUCCESS) {
        qCWarning(lcDesktop) << "no sounds: the sound system is unavailable:" << ca_strerror(error);
        if (m_soundContext)
            ca_context_destroy(m_soundContext);
        m_soundContext = nullptr;
        m_soundUnavailable = true;
    }
    return m_soundContext;
}

void DesktopSystemServices::playSound(const QString &name)
{
    if (name.isEmpty())
        return;
    ca_context *context = soundContext();
    if (!context)
        return;
    // ca_context_play queues the sound and returns; an id the theme lacks fails here
    // (CA_ERROR_NOTFOUND) and plays nothing, as it should.
    const QByteArray id = name.toUtf8();
    const int error = ca_context_play(context, 0, CA_PROP_EVENT_ID, id.constData(),
        CA_PROP_EVENT_DESCRIPTION, "Runel script finished", nullptr);
    if (error != CA_SUCCESS && error != CA_ERROR_NOTFOUND)
        qCDebug(lcDesktop) << "sound" << name << "not played:" << ca_strerror(error);
}

void DesktopSystemServices::beep()
{
    QApplication::beep();
}

bool DesktopSystemServices::open(const QString &path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return true;
    qCWarning(lcDesktop) << "no application opened" << path;
    return false;
}

void DesktopSystemServices::reveal(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.FileManager1"_s,
        u"/org/freedesktop/FileManager1"_s, u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList { QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) }
         << qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        open(folder);
        return;
    }
    // Asynchronous: a file manager that is slow to start must not hold up the HUD.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, folder](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            if (finished->isError())
                open(folder);
        });
}

} // namespace runel::gui
