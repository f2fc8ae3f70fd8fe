// The portal back end against a fake desktop portal on a private session bus. CTest runs this
// under dbus-run-session with a bus that activates nothing, so "no portal" means none.
#include "KeyboardShortcuts/PortalHotKeyBackend.h"
#include "KeyboardShortcuts/PortalShortcut.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>

using namespace runel::KeyboardShortcuts;
using namespace Qt::StringLiterals;

namespace {

const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString shortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;
const QString registryInterface = u"org.freedesktop.host.portal.Registry"_s;
const QString appId = u"io.github.runel.Runel"_s;

struct FakeOptions {
    bool globalShortcuts = true;
    bool registry = true;
    uint version = 2;
    bool oneBindPerSession = false;
    uint bindResponse = 0; // the Response code of BindShortcuts
    bool answerShortcuts = true; // whether its results carry the bound shortcuts
    int firstAnswerDelayMs = 0; // how long the first Introspect takes (a portal starting up)
};

// A desktop portal with GlobalShortcuts (and, when asked, the host registry) on a connection of
// its own. It reports the trigger it chose for a shortcut as "desktop:" + the preferred one.
class PortalObject : public QDBusVirtualObject {
public:
    explicit PortalObject(FakeOptions options)
        : m_options(options)
        , m_bus(QDBusConnection::connectToBus(
              QDBusConnection::SessionBus, u"fake-portal-%1"_s.arg(++s_instances)))
    { }
    bool publish()
    {
        return m_bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath)
            && m_bus.registerService(u"org.freedesktop.portal.Desktop"_s);
    }
    void unpublish() { QDBusConnection::disconnectFromBus(m_bus.name()); }

    // What the portal was asked by one method, in order: "<session or app id>[ <shortcuts>]".
    // Register counts also what is sent to a portal without the registry (a fault).
    QStringList calls(const QString &member) const
    {
        QMutexLocker lock(&m_mutex);
        QStringList found;
        for (const QString &call : m_calls)
            if (call.section(u' ', 0, 0) == member)
                found.append(call.section(u' ', 1));
        return found;
    }
    void emitSignal(const QString &member, const QVariantList &arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(portalPath, shortcutsInterface, member);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }
    void press(const QString &session, const QString &id, const QString &member = u"Activated"_s)
    {
        emitSignal(member,
            { QVariant::fromValue(QDBusObjectPath(session)), id, qulonglong(1), QVariantMap() });
    }
    void changeTrigger(const QString &session, const QString &id, const QString &trigger)
    {
        emitSignal(u"ShortcutsChanged"_s,
            { QVariant::fromValue(QDBusObjectPath(session)),
                QVariant::fromValue(
                    PortalShortcutList { { id, { { u"trigger_description"_s, trigger } } } }) });
    }

    QString introspect(const QString &path) const override
    {
        if (m_options.firstAnswerDelayMs > 0 && !m_answered.exchange(true))
            QThread::msleep(ulong(m_options.firstAnswerDelayMs));
        QString xml = u"<interface name=\"org.freedesktop.portal.Settings\"/>"_s;
        if (m_options.globalShortcuts)
            xml += u"<interface name=\"%1\"/>"_s.arg(shortcutsInterface);
        if (m_options.registry)
            xml += u"<interface name=\"%1\"/>"_s.arg(registryInterface);
        return path == portalPath ? xml : QString();
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override
    {
        const QVariantList args = message.arguments();
        const QString member = message.member();
        QMutexLocker lock(&m_mutex);
        if (message.interface() == registryInterface) {
            m_calls.append(u"Register "_s + args.value(0).toString());
            return m_options.registry && bus.send(message.createReply());
        }
        if (member == "Close"_L1) {
            m_calls.append(u"Close "_s + message.path());
            return bus.send(message.createReply());
        }
        if (!m_options.globalShortcuts)
            return false;
        if (member == "Get"_L1 && args.value(1).toString() == "version"_L1)
            return bus.send(
                message.createReply(QVariant::fromValue(QDBusVariant(m_options.version))));
        if (member == "CreateSession"_L1) {
            const auto options = qdbus_cast<QVariantMap>(args.value(0));
            const QString session
                = handle(message, u"session"_s, options[u"session_handle_token"_s]);
            m_calls.append(u"CreateSession "_s + session);
            return respond(message, bus, options, { { u"session_handle"_s, session } });
        }
        if (member == "BindShortcuts"_L1) {
            const QString session = args.value(0).value<QDBusObjectPath>().path();
            if (m_options.oneBindPerSession
                && !m_calls.filter(u"BindShortcuts "_s + session + u' ').isEmpty())
                return bus.send(message.createErrorReply(
                    u"org.freedesktop.portal.Error.Failed"_s, u"already bound"_s));
            PortalShortcutList answer;
            QStringList sent; // id|description|preferred trigger
            for (const PortalShortcut &shortcut : portalShortcutsFrom(args.value(1))) {
                const QString trigger = shortcut.properties[u"preferred_trigger"_s].toString();
                answer.append(
                    { shortcut.id, { { u"trigger_description"_s, u"desktop:"_s + trigger } } });
                sent << shortcut.id + u'|' + shortcut.properties[u"description"_s].toString() + u'|'
                        + trigger;
            }
            m_calls.append(u"BindShortcuts %1 %2"_s.arg(session, sent.join(u',')));
            QVariantMap results;
            if (m_options.answerShortcuts)
                results.insert(u"shortcuts"_s, QVariant::fromValue(answer));
            return respond(message, bus, qdbus_cast<QVariantMap>(args.value(3)), results,
                m_options.bindResponse);
        }
        if (member == "ConfigureShortcuts"_L1 && m_options.version >= 2) {
            m_calls.append(
                u"ConfigureShortcuts "_s + args.value(0).value<QDBusObjectPath>().path());
            return bus.send(message.createReply());
        }
        return false;
    }

private:
    static QString handle(const QDBusMessage &message, const QString &kind, const QVariant &token)
    {
        return portalPath + u'/' + kind + u'/' + message.service().mid(1).replace(u'.', u'_') + u'/'
            + token.toString();
    }
    // Answers with the Request handle, then emits its Response, as a portal does.
    static bool respond(const QDBusMessage &message, const QDBusConnection &bus,
        const QVariantMap &options, const QVariantMap &results, uint code = 0)
    {
        const QString request = handle(message, u"request"_s, options[u"handle_token"_s]);
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        response << code << results;
        return bus.send(response);
    }

    static inline int s_instances = 0;
    FakeOptions m_options;
    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    mutable std::atomic_bool m_answered = false; // the first Introspect has been answered
    QStringList m_calls; // "<method> <session or app id>[ <shortcuts bound>]"
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

const Shortcut superShiftL { 37, 768 };
const Shortcut ctrlAltF5 { 96, 4096 | 2048 };

} // namespace

Q_DECLARE_METATYPE(runel::KeyboardShortcuts::DesktopTriggers::BindState)

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
        QTest::addColumn<int>("firstAnswerDelayMs");
        QTest::newRow("no portal on the bus: none, at once") << 0 << false << 0;
        QTest::newRow("portal without GlobalShortcuts: none") << 1 << true << 0;
        QTest::newRow("registry offered: the app id registered") << 2 << true << 0;
        QTest::newRow("no registry: nothing registered") << 2 << false << 0;
        QTest::newRow("a portal slow to start is waited for")
            << 2 << true << PortalHotKeyBackend::probeTimeoutMs + 500;
    }
    void create()
    {
        QFETCH(int, portal);
        QFETCH(bool, registry);
        QFETCH(int, firstAnswerDelayMs);
        std::optional<FakePortal> fake;
        FakeOptions options { portal == 2, registry };
        options.firstAnswerDelayMs = firstAnswerDelayMs;
        if (portal > 0)
            QVERIFY(fake.emplace(options).isPublished());
        QElapsedTimer timer;
        timer.start();
        const auto backend = PortalHotKeyBackend::create(appId);
        // A missing portal is answered by the bus at once, not by waiting out the timeout.
        if (portal == 0)
            QVERIFY(timer.elapsed() < PortalHotKeyBackend::probeTimeoutMs);
        QCOMPARE(bool(backend), portal == 2);
        // The app id is registered only where the registry is offered.
        if (fake)
            QCOMPARE((*fake)->calls(u"Register"_s),
                portal == 2 && registry ? QStringList { appId } : QStringList());
    }

    // One bind carries every name with its description and preferred trigger; the desktop's
    // choice of trigger is what is shown; activation reaches the name.
    void bindAndActivate()
    {
        FakePortal fake({});
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        backend->setDescriptions({ { u"toggleSearchWindow"_s, u"Show or hide Runel"_s } });
        backend->setBindings({ { superShiftL, { u"toggleSearchWindow"_s } },
            { ctrlAltF5, { u"shortcut-B"_s, u"shortcut-A"_s } } });
        QTRY_COMPARE(
            backend->triggerDescription(u"toggleSearchWindow"_s), u"desktop:LOGO+SHIFT+l"_s);

        const QString session = fake->calls(u"CreateSession"_s).value(0);
        QCOMPARE(fake->calls(u"BindShortcuts"_s),
            QStringList { session
                + u" shortcut-A|shortcut-A|CTRL+ALT+F5,shortcut-B|shortcut-B|CTRL+ALT+F5,"
                  "toggleSearchWindow|Show or hide Runel|LOGO+SHIFT+l"_s });

        // The user changes a trigger in the desktop's settings.
        fake->changeTrigger(session, u"shortcut-A"_s, u"Ctrl+F12"_s);
        QTRY_COMPARE(backend->triggerDescription(u"shortcut-A"_s), u"Ctrl+F12"_s);
        QCOMPARE(backend->triggerDescription(u"shortcut-B"_s), u"desktop:CTRL+ALT+F5"_s);

        // Another session's activation is not ours; ours is pressed, then released.
        QSignalSpy pressed(backend.get(), &HotKeyBackend::pressed);
        QSignalSpy released(backend.get(), &HotKeyBackend::released);
        fake->press(session + u'x', u"toggleSearchWindow"_s);
        fake->press(session, u"shortcut-B"_s);
        fake->press(session, u"shortcut-B"_s, u"Deactivated"_s);
        QTRY_COMPARE(released.count(), 1);
        QCOMPARE(QList<QVariantList>(pressed), QList<QVariantList>({ { u"shortcut-B"_s, 0U } }));
        QCOMPARE(QList<QVariantList>(released), QList<QVariantList>({ { u"shortcut-B"_s } }));

        // With no names listed the desktop keeps them, but a press reaches no one (the trigger
        // change after it shows when it has been delivered).
        backend->setBindings({});
        fake->press(session, u"shortcut-B"_s);
        fake->changeTrigger(session, u"shortcut-A"_s, u"Ctrl+F11"_s);
        QTRY_COMPARE(backend->triggerDescription(u"shortcut-A"_s), u"Ctrl+F11"_s);
        QCOMPARE(pressed.count(), 1);
    }

    // A portal of version 1 binds once per session and has no ConfigureShortcuts: a changed
    // list is bound in a new session, the old one closed. (Version 2 re-binds in its session:
    // bindsOnlyWhenNamesOrTriggersChange.)
    void rebindInANewSession()
    {
        FakePortal fake({ .version = 1, .oneBindPerSession = true });
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        backend->setBindings({ { superShiftL, { u"toggleSearchWindow"_s } } });
        QTRY_VERIFY(!backend->triggerDescription(u"toggleSearchWindow"_s).isEmpty());
        backend->configureTriggers();
        // The changed list is the second bind.
        backend->setBindings(
            { { superShiftL, { u"toggleSearchWindow"_s } }, { ctrlAltF5, { u"shortcut-A"_s } } });
        QTRY_COMPARE(backend->triggerDescription(u"shortcut-A"_s), u"desktop:CTRL+ALT+F5"_s);

        const QStringList sessions = fake->calls(u"CreateSession"_s);
        const QStringList binds = fake->calls(u"BindShortcuts"_s);
        QCOMPARE(binds.size(), 2);
        QCOMPARE(binds.last().section(u' ', 0, 0), sessions.last());
        QCOMPARE(binds.last().count(u','), 1); // two names
        QCOMPARE(fake->calls(u"Close"_s), sessions.mid(0, 1));
        QCOMPARE(sessions.size(), 2);
        QVERIFY(fake->calls(u"ConfigureShortcuts"_s).isEmpty());
    }

    // What the answer carries decides: GNOME 48 answers an accepted bind with 2 and the bound
    // shortcuts; a cancelled dialog is 1 with none. A refusal is not asked again until the
    // names or their triggers change (each ask is a dialog).
    void bindAnswer_data()
    {
        QTest::addColumn<uint>("response");
        QTest::addColumn<bool>("shortcuts");
        QTest::addColumn<DesktopTriggers::BindState>("state");
        QTest::addColumn<QString>("trigger");
        const QString desktop = u"desktop:LOGO+SHIFT+l"_s;
        QTest::newRow("accepted as GNOME 48 says it: 2 with the shortcuts")
            << 2U << true << DesktopTriggers::BindState::bound << desktop;
        QTest::newRow("dialog cancelled: 1 without shortcuts")
            << 1U << false << DesktopTriggers::BindState::refusedByUser << QString();
        QTest::newRow("ended otherwise: 2 without shortcuts")
            << 2U << false << DesktopTriggers::BindState::failed << QString();
    }
    void bindAnswer()
    {
        QFETCH(uint, response);
        QFETCH(bool, shortcuts);
        QFETCH(DesktopTriggers::BindState, state);
        FakePortal fake({ .bindResponse = response, .answerShortcuts = shortcuts });
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        backend->setBindings({ { superShiftL, { u"toggleSearchWindow"_s } } });
        QTRY_COMPARE(backend->bindState(), state);
        QTEST(backend->triggerDescription(u"toggleSearchWindow"_s), "trigger");
        QCOMPARE(fake->calls(u"BindShortcuts"_s).size(), 1);
    }

    // Each bind may show the desktop's dialog: new descriptions (a user shortcut's keys edited,
    // typing in the Shortcuts tab), equal lists and a muting empty list never bind; a burst of
    // changes binds once, with the last of everything.
    void bindsOnlyWhenNamesOrTriggersChange()
    {
        FakePortal fake({});
        const auto backend = PortalHotKeyBackend::create(appId);
        QVERIFY(backend);
        // No delay: whatever a change binds is sent before the round trip that follows it.
        backend->setBindDelay(0);
        const auto settle = [&] {
            QCoreApplication::processEvents();
            // Counted first: the portal may take the call before the count is read.
            const qsizetype configures = fake->calls(u"ConfigureShortcuts"_s).size();
            backend->configureTriggers(); // a round trip behind any bind just sent
            QTRY_COMPARE(fake->calls(u"ConfigureShortcuts"_s).size(), configures + 1);
        };
        const std::vector<Binding> first { { superShiftL, { u"toggleSearchWindow"_s } },
            { ctrlAltF5, { u"shortcut-A"_s } } };
        backend->setDescriptions({ { u"shortcut-A"_s, u"Run g"_s } });
        backend->setBindings(first);
        QTRY_COMPARE(backend->bindState(), DesktopTriggers::BindState::bound);

        backend->setDescriptions({ { u"shortcut-A"_s, u"Run gd"_s } });
        settle();
        // No names (a menu is open, the service disabled) mute them: the same names again
        // ask nothing of the portal.
        backend->setBindings({});
        settle();
        backend->setBindings(first);
        backend->setDescriptions({ { u"shortcut-A"_s, u"Run gdx"_s } });
        settle();
        QCOMPARE(fake->calls(u"BindShortcuts"_s).size(), 1);

        // A burst: a new name, another trigger, the new name gone again, a name without keys.
        backend->setBindings({ { superShiftL, { u"toggleSearchWindow"_s, u"shortcut-B"_s } },
            { ctrlAltF5, { u"shortcut-A"_s } } });
        backend->setBindings({ { ctrlAltF5, { u"toggleSearchWindow"_s, u"shortcut-A"_s } } });
        backend->setUnboundNames({ u"toggleSearchMode"_s });
        QTRY_COMPARE(fake->calls(u"BindShortcuts"_s).size(), 2);
        settle();
        const QStringList binds = fake->calls(u"BindShortcuts"_s);
        QCOMPARE(binds.size(), 2);
        QCOMPARE(fake->calls(u"CreateSession"_s).size(), 1);
        QVERIFY(fake->calls(u"Close"_s).isEmpty());
        QCOMPARE(binds.last().section(u' ', 1),
            u"shortcut-A|Run gdx|CTRL+ALT+F5,toggleSearchMode|toggleSearchMode|,"
            "toggleSearchWindow|toggleSearchWindow|CTRL+ALT+F5"_s);
    }
};

QTEST_GUILESS_MAIN(PortalHotKeysTest)
#include "tst_portal_hotkeys.moc"
