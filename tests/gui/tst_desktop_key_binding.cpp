// Writing and undoing the desktop's own shortcut for "runel toggle" and for a user shortcut's
// "runel show --keys KEYS", against stand-ins for gsettings, xfconf-query and kwriteconfig6
// (tests/gui/fake-tools) that keep their state in a temporary folder.

#include "FakeHotKeyBackend.h"
#include "TestEnvironment.h"
#include "gui/platform/DesktopKeyBinding.h"
#include "gui/platform/HotKeyFallbackRow.h"

#include <QPushButton>

using namespace Qt::StringLiterals;
using runel::Expected;
using runel::gui::DesktopKeyBinding;
using BindState = runel::KeyboardShortcuts::DesktopTriggers::BindState;

namespace {
const QString ours = u"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/runel/"_s;
const QString list = u"org.gnome.settings-daemon.plugins.media-keys custom-keybindings="_s;
const QString entry = u"org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:"_s;
const QString xfceKey = u"/commands/custom/<Primary><Alt>space="_s;
const QString runelPath = u"/usr/bin/runel"_s;
const QUuid shortcutId(u"0a1b2c3d-0000-4000-8000-00000000000e"_s);
const QString shortcutPath
    = u"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/runel-0a1b2c3d-0000-4000-8000-00000000000e/"_s;
// Super+G, as the recorder stores it.
const runel::KeyboardShortcuts::Shortcut superG { 5,
    runel::KeyboardShortcuts::CarbonModifier::command };

// "runel toggle" for no keys, else the user shortcut playing keys at Super+G.
DesktopKeyBinding bindingFor(const QString &keys, const QString &desktop)
{
    if (keys.isEmpty())
        return DesktopKeyBinding(runelPath, desktop);
    return DesktopKeyBinding::forShortcut(runelPath, desktop, shortcutId, keys, superG);
}

// The answer of one of the binding's operations, waited for; none if the tools never answered.
template<typename T>
T answer(const DesktopKeyBinding &binding,
    void (DesktopKeyBinding::*operation)(QObject *, std::function<void(T)>) const, T none)
{
    QObject context;
    std::optional<T> result;
    (binding.*operation)(&context, [&](T value) { result = std::move(value); });
    return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? std::move(*result) : none;
}
Expected<void> add(const DesktopKeyBinding &binding, bool adding = true)
{
    return answer<Expected<void>>(binding,
        adding ? &DesktopKeyBinding::add : &DesktopKeyBinding::remove,
        runel::Failure { u"no answer"_s });
}
bool isAdded(const DesktopKeyBinding &binding)
{
    return answer(binding, &DesktopKeyBinding::isAdded, false);
}
} // namespace

class TestDesktopKeyBinding : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_state;
    QByteArray m_path = qgetenv("PATH");

    QStringList state(const QString &tool) const
    {
        return QString::fromUtf8(fileBytes(m_state.filePath(tool)))
            .split(u'\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_state.isValid());
        for (const QString &name : QDir(m_state.path()).entryList(QDir::Files))
            QFile::remove(m_state.filePath(name));
        qputenv("FAKE_TOOL_STATE", m_state.path().toUtf8());
        qputenv("PATH", QByteArray(RUNEL_FAKE_TOOLS) + ':' + m_path);
    }
    void cleanup() { qputenv("PATH", m_path); }

    void writesAndUndoes_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("keys"); // a user shortcut's; none: "runel toggle"
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("actions");
        // Whether the binding is added (and the error, on failure), then the tool's state.
        QTest::addColumn<QStringList>("after");

        const QString c0 = entry + u"/c0/ name='Terminal'"_s;
        const QStringList ourKeys { entry + ours + u" name='Runel'"_s,
            entry + ours + u" command='/usr/bin/runel toggle'"_s,
            entry + ours + u" binding='<Primary><Alt>space'"_s };
        QTest::newRow("GNOME: adding keeps the shortcuts there")
            << u"ubuntu:GNOME"_s << QString() << u"gsettings"_s
            << QStringList { list + u"['/c0/']"_s, c0 } << u"add"_s
            << QStringList { u"added"_s, c0, list + u"['/c0/', '"_s + ours + u"']"_s } + ourKeys;
        const QString mine = xfceKey + u"/usr/bin/runel toggle"_s;
        const QString other = u"/commands/custom/<Super>e=thunar"_s;
        QTest::newRow("Xfce: removing takes out only ours")
            << u"XFCE"_s << QString() << u"xfconf"_s << QStringList { other, mine } << u"remove"_s
            << QStringList { u"not added"_s, other };
        const QString shortcutEntry = entry + shortcutPath;
        const QStringList shortcutKeys { shortcutEntry + u" name='Runel: runel show --keys gd'"_s,
            shortcutEntry + u" command='/usr/bin/runel show --keys gd'"_s,
            shortcutEntry + u" binding='<Super>g'"_s };
        QTest::newRow("GNOME: an edited shortcut is added again in place")
            << u"GNOME"_s << u"gd"_s << u"gsettings"_s
            << QStringList { list + u"['"_s + shortcutPath + u"']"_s,
                   shortcutEntry + u" command='/usr/bin/runel show --keys gx'"_s }
            << u"add"_s
            << QStringList { u"added"_s, list + u"['"_s + shortcutPath + u"']"_s } + shortcutKeys;
        QTest::newRow("GNOME: removing a user shortcut's entry leaves the HUD's")
            << u"GNOME"_s << u"gd"_s << u"gsettings"_s
            << QStringList { list + u"['"_s + ours + u"', '"_s + shortcutPath + u"']"_s } + ourKeys
                + shortcutKeys
            << u"remove"_s
            << QStringList { u"not added"_s, list + u"['"_s + ours + u"']"_s } + ourKeys;
        QTest::newRow("Xfce: a user shortcut at its own combination")
            << u"XFCE"_s << u"g d"_s << u"xfconf"_s << QStringList { mine } << u"add"_s
            << QStringList { u"added"_s, mine,
                   u"/commands/custom/<Super>g=/usr/bin/runel show --keys 'g d'"_s };
        QTest::newRow("Xfce: the combination bound to another command stays")
            << u"XFCE"_s << QString() << u"xfconf"_s << QStringList { xfceKey + u"xterm"_s }
            << u"add remove"_s
            << QStringList { u"not added; Ctrl+Alt+Space already runs “xterm” in Xfce"_s,
                   xfceKey + u"xterm"_s };
    }
    void writesAndUndoes()
    {
        QFETCH(QString, desktop);
        QFETCH(QString, keys);
        QFETCH(QString, tool);
        QFETCH(QStringList, before);
        QFETCH(QString, actions);
        QFETCH(QStringList, after);
        writeFile(m_state.filePath(tool), before.join(u'\n').toUtf8() + '\n');

        const DesktopKeyBinding binding = bindingFor(keys, desktop);
        QVERIFY(binding.canWrite());
        Expected<void> result;
        for (const QString &action : actions.split(u' ')) {
            result = add(binding, action == u"add"_s);
            if (!result)
                break;
        }
        QStringList now = state(tool);
        now.append(isAdded(binding) ? u"added"_s : u"not added"_s);
        if (!result)
            now.last() += u"; "_s + result.error().section(u". "_s, 0, 0); // its first sentence
        now.sort();
        after.sort();
        QCOMPARE(now, after);
    }

    // The tools of two rows adding at once run one after the other: GNOME's list of shortcuts
    // is read and written back whole, and interleaved the second write would drop the first.
    void bindingsAddedAtOnceAreBothListed()
    {
        const DesktopKeyBinding first = bindingFor(u"gd"_s, u"GNOME"_s);
        const DesktopKeyBinding second = DesktopKeyBinding::forShortcut(
            runelPath, u"GNOME"_s, QUuid::createUuid(), u"gx"_s, superG);
        QObject context;
        QStringList errors;
        const auto answered = [&](const Expected<void> &result) { errors.append(result.error()); };
        first.add(&context, answered);
        second.add(&context, answered);
        QTRY_COMPARE(errors, QStringList({ QString(), QString() }));
        QVERIFY(isAdded(first));
        QVERIFY(isAdded(second));
    }

    // Plasma 6: a launcher of the shortcut's own and its key in kglobalshortcutsrc, in KDE's
    // spelling; "%" is doubled in the launcher, where it starts a field code. The launcher is
    // replaced whole: on a full disk none is left and the failure says why, before the shortcut
    // is touched.
    void plasmaBindsAUserShortcut()
    {
        TestHome home;
        qputenv("KDE_SESSION_VERSION", "6");
        DesktopKeyBinding binding = bindingFor(u"5%"_s, u"KDE"_s);
        qunsetenv("KDE_SESSION_VERSION");
        const QString folder = home.file(u"data/applications"_s);
        const QString launcher = folder + u"/runel-0a1b2c3d-0000-4000-8000-00000000000e.desktop"_s;
        QVERIFY(QDir().mkpath(folder));
        {
            FileSizeLimit full(0);
            const Expected<void> result = add(binding);
            QVERIFY2(!result && result.error().contains(u"File too large"_s),
                qPrintable(result.error()));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(state(u"kwriteconfig"_s), QStringList());

        QVERIFY(add(binding));
        QVERIFY(isAdded(binding));
        QCOMPARE(state(u"kwriteconfig"_s),
            QStringList { u"kglobalshortcutsrc[services][runel-0a1b2c3d-0000-4000-8000-"
                          u"00000000000e.desktop]_launch=Meta+G"_s });
        QVERIFY(fileBytes(launcher).contains("\nExec=/usr/bin/runel show --keys 5%%\n"));
        QVERIFY(add(binding, false));
        QVERIFY(!isAdded(binding));
        QCOMPARE(state(u"kwriteconfig"_s), QStringList());
        QVERIFY(!QFile::exists(launcher));
    }

    void missingToolIsReported()
    {
        qputenv("PATH", m_state.path().toUtf8());
        const Expected<void> result = add(DesktopKeyBinding(runelPath, u"XFCE"_s));
        QVERIFY(!result);
        QCOMPARE(result.error(), u"xfconf-query could not be started; is it installed?"_s);
    }

    // What each desktop is told, for "runel toggle" (a runel under a path with a space) and for
    // a user shortcut playing "it's" (quoted for a shell), before and after a key is recorded;
    // add() runs no tool where Runel does not write or has no key to bind.
    void eachDesktop_data()
    {
        QTest::addColumn<QString>("currentDesktop");
        QTest::addColumn<QString>("keys"); // a user shortcut's; none: "runel toggle"
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("canWrite");
        QTest::addColumn<QString>("says"); // part of the explanation or the lines
        QTest::addColumn<QString>("firstLine");
        const QString toggles = u"'/opt/my apps/runel' toggle"_s;
        const QString runs = u"/usr/bin/runel show --keys 'it'\\''s'"_s;
        const auto row = [](const char *rowName, const QString &desktop, const QString &keys,
                             bool recorded, const QString &name, bool canWrite, const QString &says,
                             const QString &firstLine) {
            QTest::newRow(rowName)
                << desktop << keys << recorded << name << canWrite << says << firstLine;
        };
        row("Plasma 5 is explained, not written", u"KDE"_s, {}, true, u"KDE Plasma"_s, false,
            toggles, {});
        row("sway shows its lines with the quoted path", u"sway"_s, {}, true, u"sway"_s, false,
            toggles, u"bindsym Ctrl+Mod1+space exec "_s + toggles);
        row("an unknown desktop is told the command", u"X-Cinnamon"_s, {}, true, {}, false, toggles,
            {});
        row("GNOME before a key is recorded", u"GNOME"_s, u"it's"_s, false, u"GNOME"_s, true,
            u"Record a key for this shortcut"_s, {});
        row("sway gets a user shortcut's one line", u"sway"_s, u"it's"_s, true, u"sway"_s, false,
            u"It binds Super+G."_s, u"bindsym Mod4+g exec "_s + runs);
        row("Hyprland gets a user shortcut's one line", u"Hyprland"_s, u"it's"_s, true,
            u"Hyprland"_s, false, u"It binds Super+G."_s, u"bind = SUPER, g, exec, "_s + runs);
    }
    void eachDesktop()
    {
        QFETCH(QString, currentDesktop);
        QFETCH(QString, keys);
        QFETCH(bool, recorded);
        QFETCH(bool, canWrite);
        QFETCH(QString, says);
        QFETCH(QString, firstLine);
        qunsetenv("KDE_SESSION_VERSION");
        const DesktopKeyBinding binding = keys.isEmpty()
            ? DesktopKeyBinding(u"/opt/my apps/runel"_s, currentDesktop)
            : DesktopKeyBinding::forShortcut(runelPath, currentDesktop, shortcutId, keys,
                recorded ? std::optional(superG) : std::nullopt);
        QTEST(binding.desktopName(), "name");
        QCOMPARE(binding.canWrite(), canWrite);
        const QStringList lines = binding.configLines();
        const QString told = binding.explanation() + u'\n' + lines.join(u'\n');
        QVERIFY2(told.contains(says), qPrintable(told));
        QCOMPARE(lines.value(0), firstLine);
        // The window rules follow the HUD's own binding; a user shortcut has its line alone.
        QCOMPARE(lines.size() > 1, keys.isEmpty() && !firstLine.isEmpty());
        if (!canWrite || !recorded) {
            QVERIFY(!add(binding));
            QVERIFY(!QFile::exists(m_state.filePath(u"calls"_s))); // no tool was run
        }
        // Without keys a user shortcut only opens the HUD.
        QCOMPARE(DesktopKeyBinding::forShortcut(runelPath, currentDesktop, shortcutId, {}, superG)
                     .shortCommand(),
            u"runel show"_s);
    }

    // Where the portal holds the hot keys, the HUD's key offers the desktop binding while the
    // desktop holds none of them, saying why; it follows the desktop's later answer.
    void fallbackRowFollowsTheDesktop_data()
    {
        QTest::addColumn<bool>("desktopFile");
        QTest::addColumn<BindState>("state");
        QTest::addColumn<QString>("says"); // empty: hidden
        QTest::newRow("bound: hidden") << true << BindState::bound << QString();
        QTest::newRow("run from a clone: the desktop file is missing")
            << false << BindState::failed << u"io.github.runel.Runel.desktop) is not installed"_s;
        QTest::newRow("the user cancelled the desktop's dialog")
            << true << BindState::refusedByUser << u"The desktop refused"_s;
    }
    void fallbackRowFollowsTheDesktop()
    {
        QFETCH(bool, desktopFile);
        QFETCH(BindState, state);
        QFETCH(QString, says);
        FakeHotKeyBackend backend(FakeHotKeyBackend::Kind::portal);
        backend.setBindState(BindState::pending);
        runel::gui::HotKeyFallbackRow row(
            backend, desktopFile, DesktopKeyBinding(runelPath, u"GNOME"_s));
        row.show();
        backend.setBindState(state);
        QCOMPARE(row.isVisible(), !says.isEmpty());
        QVERIFY2(row.message().contains(says), qPrintable(row.message()));
        if (!says.isEmpty())
            QVERIFY(row.findChild<QPushButton *>()); // the desktop binding's button
    }
};

Q_DECLARE_METATYPE(BindState)
QTEST_MAIN(TestDesktopKeyBinding)
#include "tst_desktop_key_binding.moc"
