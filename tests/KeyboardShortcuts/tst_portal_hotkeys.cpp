// The portal back end against a fake desktop portal on a private session bus. CTest runs this
// under dbus-run-session with a bus that activates nothing, so "no portal" means none.
#include "PortalHotKeyBackend.h"
#include "PortalShortcut.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

using namespace KeyboardShortcuts;

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString registryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");
const QString appId = QStringLiteral("runel");

struct FakeOptions {
    bool globalShortcuts = true;
    bool registry = true;
    uint version = 2;
    bool oneBindPerSession = false;
};

// What the fake portal was asked, in order.
struct Recorded {
    QStringList registered; // app ids, also those sent to a portal without the registry
    QStringList sessions; // created session handles
    QList<std::pair<QString, PortalShortcutList>> binds; // session, shortcuts
    QStringList closed; // sessions closed by the client
    int configures = 0;
};

// A desktop portal with GlobalShortcuts (and, when asked, the host registry) on a connection of
// its own. Every bind is answered with the preferred triggers, unless decide() set the trigger
// the "desktop" chose.
class PortalObject : public QDBusVirtualObject {
public:
    explicit PortalObject(FakeOptions options)
        : m_options(options)
        , m_bus(QDBusConnection::connectToBus(
              QDBusConnection::SessionBus, QStringLiteral("fake-portal-%1").arg(++s_instances)))
    { }
    bool publish()
    {
        return m_bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath)
            && m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    void unpublish()
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.unregisterObject(portalPath, QDBusConnection::UnregisterTree);
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    Recorded recorded() const
    {
        QMutexLocker lock(&m_mutex);
        return m_recorded;
    }
    void decide(const QString &id, const QString &trigger)
    {
        QMutexLocker lock(&m_mutex);
        m_decided.insert(id, trigger);
    }
    void emitSignal(const QString &member, const QVariantList &arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(portalPath, shortcutsInterface, member);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }
    void press(const QString &session, const QString &id, const QString &member)
    {
        emitSignal(member,
            { QVariant::fromValue(QDBusObjectPath(session)), id, qulonglong(1), QVariantMap() });
    }

    QString introspect(const QString &path) const override
    {
        if (path != portalPath)
            return {};
        QString xml;
        if (m_options.globalShortcuts)
            xml += QStringLiteral("<interface name=\"%1\"/>").arg(shortcutsInterface);
        if (m_options.registry)
            xml += QStringLiteral("<interface name=\"%1\"/>").arg(registryInterface);
        return xml + QStringLiteral("<interface name=\"org.freedesktop.portal.Settings\"/>");
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override
    {
        const QVariantList args = message.arguments();
        const QString call = message.interface() + QLatin1Char('.') + message.member();
        QMutexLocker lock(&m_mutex);
        if (call == QLatin1String("org.freedesktop.DBus.Properties.Get")) {
            if (args.value(0).toString() != shortcutsInterface || !m_options.globalShortcuts)
                return false;
            return bus.send(
                message.createReply(QVariant::fromValue(QDBusVariant(m_options.version))));
        }
        if (call == registryInterface + QStringLiteral(".Register")) {
            // Recorded even where not offered: a call there is a fault of the client.
            m_recorded.registered.append(args.value(0).toString());
            return m_options.registry && bus.send(message.createReply());
        }
        if (call == QLatin1String("org.freedesktop.portal.Session.Close")) {
            m_recorded.closed.append(message.path());
            return bus.send(message.createReply());
        }
        if (message.interface() != shortcutsInterface || !m_options.globalShortcuts)
            return false;
        if (message.member() == QLatin1String("CreateSession")) {
            const auto options = qdbus_cast<QVariantMap>(args.value(0));
            const QString session = handle(message, QStringLiteral("session"),
                options.value(QStringLiteral("session_handle_token")));
            m_recorded.sessions.append(session);
            return respond(
                message, bus, options, { { QStringLiteral("session_handle"), session } });
        }
        if (message.member() == QLatin1String("BindShortcuts")) {
            const QString session = args.value(0).value<QDBusObjectPath>().path();
            const bool bound = std::any_of(m_recorded.binds.cbegin(), m_recorded.binds.cend(),
                [&](const auto &bind) { return bind.first == session; });
            if (m_options.oneBindPerSession && bound)
                return bus.send(
                    message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.Failed"),
                        QStringLiteral("shortcuts are already bound in this session")));
            const PortalShortcutList shortcuts = portalShortcutsFrom(args.value(1));
            m_recorded.binds.append({ session, shortcuts });
            PortalShortcutList answer;
            for (const PortalShortcut &shortcut : shortcuts) {
                const QString preferred
                    = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
                answer.append({ shortcut.id,
                    { { QStringLiteral("description"),
                          shortcut.properties.value(QStringLiteral("description")) },
                        { QStringLiteral("trigger_description"),
                            m_decided.value(shortcut.id, preferred) } } });
            }
            return respond(message, bus, qdbus_cast<QVariantMap>(args.value(3)),
                { { QStringLiteral("shortcuts"), QVariant::fromValue(answer) } });
        }
        if (message.member() == QLatin1String("ConfigureShortcuts") && m_options.version >= 2) {
            ++m_recorded.configures;
            return bus.send(message.createReply());
        }
        return false;
    }

private:
    static QString handle(const QDBusMessage &message, const QString &kind, const QVariant &token)
    {
        return portalPath + QLatin1Char('/') + kind + QLatin1Char('/')
            + message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'))
            + QLatin1Char('/') + token.toString();
    }
    // Answers with the Request handle, then emits its Response, as a portal does.
    static bool respond(const QDBusMessage &message, const QDBusConnection &bus,
        const QVariantMap &options, const QVariantMap &results)
    {
        const QString request = handle(
            message, QStringLiteral("request"), options.value(QStringLiteral("handle_token")));
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0U << results;
        return bus.send(response);
    }

    static inline int s_instances = 0;
    FakeOptions m_options;
    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    Recorded m_recorded;
    QHash<QString, QString> m_decided;
};

// Runs the fake portal in a thread of its own, so the client may block on it.
class FakePortal {
public:
    explicit FakePortal(FakeOptions options)
        : m_object(new PortalObject(options))
    {
        m_object->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_object, &PortalObject::publish, Qt::BlockingQueuedConnection, &m_published);
    }
    ~FakePortal()
    {
        QMetaObject::invokeMethod(m_object, &PortalObject::unpublish, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    bool isPublished() const { return m_published; }
    PortalObject *operator->() { return m_object; }

private:
    QThread m_thread;
    PortalObject *m_object;
    bool m_published = false;
};

std::vector<Binding> bindings(const QList<std::pair<Shortcut, QStringList>> &list)
{
    std::vector<Binding> result;
    for (const auto &[shortcut, names] : list)
        result.push_back({ shortcut, names });
    return result;
}

const Shortcut superShiftL { 37, 768 };
const Shortcut ctrlAltF5 { 96, 4096 | 2048 };

} // namespace

class PortalHotKeysTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("RUNEL_PRIVATE_SESSION_BUS"))
            QSKIP("needs a private session bus: run it through ctest (dbus-run-session)");
        registerPortalShortcutTypes();
    }

    void create_data()
    {
        QTest::addColumn<int>("portal"); // 0 none, 1 without GlobalShortcuts, 2 with
        QTest::addColumn<bool>("registry");
        QTest::addColumn<bool>("expectBackend");
        QTest::addColumn<QStringList>("expectRegistered");
        QTest::newRow("no portal on the bus: none, at once")
            << 0 << false << false << QStringList();
        QTest::newRow("portal without GlobalShortcuts: none")
            << 1 << true << false << QStringList();
        QTest::newRow("registry offered: the app id is registered first")
            << 2 << true << true << QStringList { appId };
        QTest::newRow("no registry: nothing registered") << 2 << false << true << QStringList();
    }
    void create()
    {
        QFETCH(int, portal);
        QFETCH(bool, registry);
        QFETCH(bool, expectBackend);
        QFETCH(QStringList, expectRegistered);
        std::unique_ptr<FakePortal> fake;
        if (portal > 0) {
            fake = std::make_unique<FakePortal>(FakeOptions { portal == 2, registry });
            QVERIFY(fake->isPublished());
        }
        QElapsedTimer timer;
        timer.start();
        const auto backend = PortalHotKeyBackend::create(appId);
        // A missing portal is answered by the bus at once, not by waiting out the timeout.
        QVERIFY(timer.elapsed() < PortalHotKeyBackend::probeTimeoutMs);
        QCOMPARE(bool(backend), expectBackend);
        if (fake)
            QCOMPARE((*fake)->recorded().registered, expectRegistered);
    }

    void preferredTrigger_data()
    {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("Super+Shift+L") << 37 << 768 << QStringLiteral("LOGO+SHIFT+l");
        QTest::newRow("modifiers in the order LOGO CTRL ALT SHIFT")
            << 36 << (256 | 512 | 2048 | 4096) << QStringLiteral("LOGO+CTRL+ALT+SHIFT+Return");
        QTest::newRow("function key alone") << 96 << 0 << QStringLiteral("F5");
        QTest::newRow("punctuation by keysym name") << 24 << 4096 << QStringLiteral("CTRL+equal");
        QTest::newRow("keypad key") << 69 << 2048 << QStringLiteral("ALT+KP_Add");
        QTest::newRow("the function bit has no portal modifier")
            << 122 << 131072 << QStringLiteral("F1");
        QTest::newRow("key outside the table: no trigger") << 10 << 256 << QString();
    }
    void preferredTrigger()
    {
        QFETCH(int, keyCode);
        QFETCH(int, modifiers);
        QFETCH(QString, trigger);
        QCOMPARE(PortalHotKeyBackend::preferredTrigger({ keyCode, modifiers }), trigger);
    }

    // One bind carries every name with its description and preferred trigger; the desktop's
    // choice of trigger is what is shown; activation reaches the name.
    void bindAndActivate()
    {
        FakePortal fake({});
        fake->decide(QStringLiteral("toggleSearchWindow"), QStringLiteral("Super+Shift+K"));
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        QSignalSpy triggers(backend.get(), &HotKeyBackend::triggersChanged);
        backend->setDescriptions(
            { { QStringLiteral("toggleSearchWindow"), QStringLiteral("Show or hide Runel") } });
        backend->setBindings(bindings({ { superShiftL, { QStringLiteral("toggleSearchWindow") } },
            { ctrlAltF5, { QStringLiteral("shortcut-B"), QStringLiteral("shortcut-A") } } }));
        QTRY_COMPARE(triggers.count(), 1);

        const Recorded recorded = fake->recorded();
        QCOMPARE(recorded.sessions.size(), 1);
        QCOMPARE(recorded.binds.size(), 1);
        QCOMPARE(recorded.binds[0].first, recorded.sessions[0]);
        QStringList sent;
        for (const PortalShortcut &shortcut : recorded.binds[0].second)
            sent.append(shortcut.id + QLatin1Char('|')
                + shortcut.properties.value(QStringLiteral("description")).toString()
                + QLatin1Char('|')
                + shortcut.properties.value(QStringLiteral("preferred_trigger")).toString());
        QCOMPARE(sent,
            QStringList({ QStringLiteral("shortcut-A|shortcut-A|CTRL+ALT+F5"),
                QStringLiteral("shortcut-B|shortcut-B|CTRL+ALT+F5"),
                QStringLiteral("toggleSearchWindow|Show or hide Runel|LOGO+SHIFT+l") }));
        QCOMPARE(backend->triggerDescription(QStringLiteral("toggleSearchWindow")),
            QStringLiteral("Super+Shift+K"));
        QCOMPARE(backend->triggerDescription(QStringLiteral("shortcut-A")),
            QStringLiteral("CTRL+ALT+F5"));

        // The user changes a trigger in the desktop's settings.
        const QString session = recorded.sessions[0];
        fake->emitSignal(QStringLiteral("ShortcutsChanged"),
            { QVariant::fromValue(QDBusObjectPath(session)),
                QVariant::fromValue(PortalShortcutList { { QStringLiteral("shortcut-A"),
                    { { QStringLiteral("trigger_description"),
                        QStringLiteral("Ctrl+F12") } } } }) });
        QTRY_COMPARE(triggers.count(), 2);
        QCOMPARE(
            backend->triggerDescription(QStringLiteral("shortcut-A")), QStringLiteral("Ctrl+F12"));
        QCOMPARE(backend->triggerDescription(QStringLiteral("shortcut-B")),
            QStringLiteral("CTRL+ALT+F5"));

        // Another session's activation is not ours; ours is pressed, then released.
        QSignalSpy pressed(backend.get(), &HotKeyBackend::namePressed);
        QSignalSpy released(backend.get(), &HotKeyBackend::nameReleased);
        fake->press(session + QStringLiteral("x"), QStringLiteral("toggleSearchWindow"),
            QStringLiteral("Activated"));
        fake->press(session, QStringLiteral("shortcut-B"), QStringLiteral("Activated"));
        fake->press(session, QStringLiteral("shortcut-B"), QStringLiteral("Deactivated"));
        QTRY_COMPARE(released.count(), 1);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(pressed.at(0).at(0).toString(), QStringLiteral("shortcut-B"));
        QCOMPARE(released.at(0).at(0).toString(), QStringLiteral("shortcut-B"));

        // With no names listed the desktop keeps them, but a press reaches no one. (The
        // ShortcutsChanged after it shows when the press has been delivered.)
        backend->setBindings({});
        fake->press(session, QStringLiteral("shortcut-B"), QStringLiteral("Activated"));
        fake->emitSignal(QStringLiteral("ShortcutsChanged"),
            { QVariant::fromValue(QDBusObjectPath(session)),
                QVariant::fromValue(PortalShortcutList { { QStringLiteral("shortcut-A"),
                    { { QStringLiteral("trigger_description"),
                        QStringLiteral("Ctrl+F11") } } } }) });
        QTRY_COMPARE(triggers.count(), 3);
        QCOMPARE(pressed.count(), 1);
    }

    void rebind_data()
    {
        QTest::addColumn<bool>("oneBindPerSession");
        QTest::newRow("portal that re-binds in its session") << false;
        QTest::newRow("portal that binds once per session: a new session") << true;
    }
    void rebind()
    {
        QFETCH(bool, oneBindPerSession);
        FakePortal fake({ .oneBindPerSession = oneBindPerSession });
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        QSignalSpy triggers(backend.get(), &HotKeyBackend::triggersChanged);
        const auto first = bindings({ { superShiftL, { QStringLiteral("toggleSearchWindow") } } });
        backend->setBindings(first);
        QTRY_COMPARE(triggers.count(), 1);
        // An equal list asks nothing; the changed one after it is the second bind.
        backend->setBindings(first);
        backend->configureTriggers();
        const auto second = bindings({ { superShiftL, { QStringLiteral("toggleSearchWindow") } },
            { ctrlAltF5, { QStringLiteral("shortcut-A") } } });
        backend->setBindings(second);
        QTRY_COMPARE(triggers.count(), 2);

        Recorded recorded = fake->recorded();
        QCOMPARE(recorded.binds.size(), 2);
        QCOMPARE(recorded.binds.last().second.size(), 2);
        QCOMPARE(recorded.sessions.size(), oneBindPerSession ? 2 : 1);
        QCOMPARE(recorded.binds.last().first, recorded.sessions.last());
        QCOMPARE(recorded.closed, oneBindPerSession ? recorded.sessions.mid(0, 1) : QStringList());
        QCOMPARE(recorded.configures, 1);
        QCOMPARE(backend->triggerDescription(QStringLiteral("shortcut-A")),
            QStringLiteral("CTRL+ALT+F5"));

        // No names (a menu is open, the service disabled) and then the same names again ask
        // nothing of the portal; the change after them is the third bind.
        backend->setBindings({});
        backend->setBindings(second);
        backend->setBindings(bindings({ { ctrlAltF5, { QStringLiteral("shortcut-A") } } }));
        QTRY_COMPARE(fake->recorded().binds.size(), 3);
        recorded = fake->recorded();
        QCOMPARE(recorded.binds.last().second.size(), 1);
        QCOMPARE(recorded.sessions.size(), oneBindPerSession ? 3 : 1);
    }

    // A restarted portal has forgotten the registration and the session: both are made again.
    void portalRestart()
    {
        auto fake = std::make_unique<FakePortal>(FakeOptions {});
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        backend->setBindings(
            bindings({ { superShiftL, { QStringLiteral("toggleSearchWindow") } } }));
        QTRY_COMPARE((*fake)->recorded().binds.size(), 1);
        fake.reset();
        fake = std::make_unique<FakePortal>(FakeOptions {});
        QTRY_COMPARE((*fake)->recorded().binds.size(), 1);
        QCOMPARE((*fake)->recorded().registered, QStringList { appId });
        QCOMPARE((*fake)->recorded().binds[0].second.size(), 1);
    }

    void configureNeedsVersion2()
    {
        FakePortal fake({ .version = 1 });
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        QCOMPARE(backend->version(), 1U);
        QSignalSpy triggers(backend.get(), &HotKeyBackend::triggersChanged);
        backend->setBindings(
            bindings({ { superShiftL, { QStringLiteral("toggleSearchWindow") } } }));
        QTRY_COMPARE(triggers.count(), 1);
        backend->configureTriggers();
        backend->setBindings(bindings({ { ctrlAltF5, { QStringLiteral("toggleSearchWindow") } } }));
        QTRY_COMPARE(fake->recorded().binds.size(), 2);
        QCOMPARE(fake->recorded().configures, 0);
    }
};

QTEST_GUILESS_MAIN(PortalHotKeysTest)
#include "tst_portal_hotkeys.moc"
