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
#include <canberra.h>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

Q_LOGGING_CATEGORY(lcDesktop, "runel.desktop")

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

void DesktopSystemServices::open(const QString &path)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        qCWarning(lcDesktop) << "no application opened" << path;
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
