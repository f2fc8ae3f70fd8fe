// Writing and undoing the desktop's own shortcut for "runel toggle", against stand-ins for
// gsettings and xfconf-query (tests/gui/fake-tools) that keep their state in a temporary folder.

#include "FakeHotKeyBackend.h"
#include "TestEnvironment.h"
#include "platform/ApplicationId.h"
#include "platform/DesktopKeyBinding.h"
#include "platform/DesktopKeyBindingRow.h"
#include "platform/HotKeyFallbackRow.h"

#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;
using runel::gui::DesktopKeyBinding;
using BindState = KeyboardShortcuts::HotKeyBackend::BindState;

namespace {
const QString ours = u"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/runel/"_s;
const QString list = u"org.gnome.settings-daemon.plugins.media-keys custom-keybindings="_s;
const QString entry = u"org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:"_s;
const QString xfceKey = u"/commands/custom/<Primary><Alt>space="_s;
const QString runelPath = u"/usr/bin/runel"_s;
} // namespace

class TestDesktopKeyBinding : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_state;
    QByteArray m_path = qgetenv("PATH");

    QStringList state(const QString &tool) const
    {
        QFile file(m_state.filePath(tool));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
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
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("actions");
        // Whether the binding is added (and the error, on failure), then the tool's state.
        QTest::addColumn<QStringList>("after");

        const QString c0 = entry + u"/c0/ name='Terminal'"_s;
        const QStringList ourKeys { entry + ours + u" name='Runel'"_s,
            entry + ours + u" command='/usr/bin/runel toggle'"_s,
            entry + ours + u" binding='<Primary><Alt>space'"_s };
        QTest::newRow("GNOME: adding keeps the shortcuts there")
            << u"ubuntu:GNOME"_s << u"gsettings"_s << QStringList { list + u"['/c0/']"_s, c0 }
            << QStringList { u"add"_s }
            << QStringList { u"added"_s, c0, list + u"['/c0/', '"_s + ours + u"']"_s } + ourKeys;
        QTest::newRow("GNOME: adding twice lists it once")
            << u"GNOME"_s << u"gsettings"_s << QStringList {} << QStringList { u"add"_s, u"add"_s }
            << QStringList { u"added"_s, list + u"['"_s + ours + u"']"_s } + ourKeys;
        QTest::newRow("GNOME: removing takes out only ours")
            << u"GNOME"_s << u"gsettings"_s
            << QStringList { list + u"['/c0/', '"_s + ours + u"', '/c1/']"_s, c0 } + ourKeys
            << QStringList { u"remove"_s }
            << QStringList { u"not added"_s, c0, list + u"['/c0/', '/c1/']"_s };
        QTest::newRow("GNOME: a failing tool is reported")
            << u"GNOME"_s << u"fail-gsettings"_s << QStringList { u"no schema installed"_s }
            << QStringList { u"add"_s }
            << QStringList { u"not added; gsettings failed (exit status 1): no schema installed"_s,
                   u"no schema installed"_s };
        const QString mine = xfceKey + u"/usr/bin/runel toggle"_s;
        const QString other = u"/commands/custom/<Super>e=thunar"_s;
        QTest::newRow("Xfce: adding writes the command")
            << u"XFCE"_s << u"xfconf"_s << QStringList { other } << QStringList { u"add"_s }
            << QStringList { u"added"_s, other, mine };
        QTest::newRow("Xfce: removing takes out only ours")
            << u"XFCE"_s << u"xfconf"_s << QStringList { other, mine }
            << QStringList { u"remove"_s } << QStringList { u"not added"_s, other };
        QTest::newRow("Xfce: the combination bound to another command stays")
            << u"XFCE"_s << u"xfconf"_s << QStringList { xfceKey + u"xterm"_s }
            << QStringList { u"add"_s, u"remove"_s }
            << QStringList { u"not added; Ctrl+Alt+Space already runs “xterm” in Xfce"_s,
                   xfceKey + u"xterm"_s };
    }
    void writesAndUndoes()
    {
        QFETCH(QString, desktop);
        QFETCH(QString, tool);
        QFETCH(QStringList, before);
        QFETCH(QStringList, actions);
        QFETCH(QStringList, after);
        writeFile(m_state.filePath(tool), before.join(u'\n').toUtf8() + '\n');

        DesktopKeyBinding binding(runelPath, desktop);
        QVERIFY(binding.canWrite());
        DesktopKeyBinding::Result result;
        for (const QString &action : actions) {
            result = action == u"add"_s ? binding.add() : binding.remove();
            if (!result.ok)
                break;
        }
        QStringList now = state(tool);
        now.append(binding.isAdded() ? u"added"_s : u"not added"_s);
        if (!result.ok)
            now.last() += u"; "_s + result.error.section(u". "_s, 0, 0); // its first sentence
        now.sort();
        after.sort();
        QCOMPARE(now, after);
    }

    void missingToolIsReported()
    {
        qputenv("PATH", m_state.path().toUtf8());
        DesktopKeyBinding binding(runelPath, u"XFCE"_s);
        const DesktopKeyBinding::Result result = binding.add();
        QVERIFY(!result.ok);
        QCOMPARE(result.error, u"xfconf-query could not be started; is it installed?"_s);
    }

    void eachDesktop_data()
    {
        QTest::addColumn<QString>("currentDesktop");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("canWrite");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("GNOME under another name") << u"Budgie:GNOME"_s << u"GNOME"_s << true << "";
        QTest::newRow("Plasma 5 is explained, not written")
            << u"KDE"_s << u"KDE Plasma"_s << false << "";
        QTest::newRow("sway shows its lines with the quoted path")
            << u"sway"_s << u"sway"_s << false
            << u"bindsym Ctrl+Mod1+space exec '/opt/my apps/runel' toggle"_s;
        QTest::newRow("Hyprland shows its lines")
            << u"Hyprland"_s << u"Hyprland"_s << false
            << u"bind = CTRL ALT, space, exec, '/opt/my apps/runel' toggle"_s;
        QTest::newRow("an unknown desktop is told the command")
            << u"X-Cinnamon"_s << QString() << false << "";
    }
    void eachDesktop()
    {
        QFETCH(QString, currentDesktop);
        QFETCH(bool, canWrite);
        QFETCH(QString, firstLine);
        qunsetenv("KDE_SESSION_VERSION");
        DesktopKeyBinding binding(u"/opt/my apps/runel"_s, currentDesktop);
        QTEST(binding.desktopName(), "name");
        QCOMPARE(binding.canWrite(), canWrite);
        const QStringList lines = binding.configLines();
        QVERIFY(
            (binding.explanation() + lines.join(u'\n')).contains(u"'/opt/my apps/runel' toggle"_s));
        QCOMPARE(lines.value(0), firstLine);
        QCOMPARE(lines.size() > 1, !firstLine.isEmpty()); // the window rules follow the binding
        if (!canWrite)
            QVERIFY(!binding.add().ok);
    }

    // Plasma 6's launcher file is replaced whole: on a full disk the old one stays as it was
    // and the failure says why, before the shortcut is touched.
    void plasmaLauncherOnAFullDisk()
    {
        TestHome home;
        qputenv("KDE_SESSION_VERSION", "6");
        DesktopKeyBinding binding(runelPath, u"KDE"_s);
        qunsetenv("KDE_SESSION_VERSION");
        QVERIFY(binding.canWrite());
        const QString launcher = home.file(u"data/applications"_s);
        QVERIFY(QDir().mkpath(launcher));
        const QStringList names = QDir(launcher).entryList(QDir::Files);
        QVERIFY(names.isEmpty());
        DesktopKeyBinding::Result result;
        {
            FileSizeLimit full(0);
            result = binding.add();
        }
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(u"File too large"_s), qPrintable(result.error));
        QCOMPARE(QDir(launcher).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The settings row: one button adds, then removes; a failure shows in words.
    void rowButtonAddsAndRemoves()
    {
        runel::gui::DesktopKeyBindingRow row(DesktopKeyBinding(runelPath, u"GNOME"_s));
        auto *button = row.findChild<QPushButton *>();
        QVERIFY(button);
        QCOMPARE(button->text(), u"Add Shortcut to GNOME"_s);
        button->click();
        QCOMPARE(button->text(), u"Remove"_s); // read back from the desktop's settings

        writeFile(m_state.filePath(u"fail-gsettings"_s), "the settings daemon is gone\n");
        button->click();
        QCOMPARE(button->text(), u"Add Shortcut to GNOME"_s); // it cannot read the shortcut now
        bool shown = false;
        for (QLabel *label : row.findChildren<QLabel *>())
            shown = shown || label->text().contains(u"the settings daemon is gone"_s);
        QVERIFY(shown);
    }

    // Where the portal holds the hot keys, the HUD's key offers the desktop binding while the
    // desktop holds none of them, saying why; it follows the desktop's later answer.
    void fallbackRowFollowsTheDesktop_data()
    {
        QTest::addColumn<bool>("desktopFile");
        QTest::addColumn<BindState>("state");
        QTest::addColumn<QString>("says"); // empty: hidden
        QTest::newRow("bound: hidden") << true << BindState::bound << QString();
        QTest::newRow("waiting for the desktop: hidden") << true << BindState::pending << QString();
        QTest::newRow("bound without the desktop file: hidden")
            << false << BindState::bound << QString();
        QTest::newRow("run from a clone: the desktop file is missing")
            << false << BindState::failed << u"io.github.runel.Runel.desktop) is not installed"_s;
        QTest::newRow("the user cancelled the desktop's dialog")
            << true << BindState::refusedByUser << u"The desktop refused"_s;
        QTest::newRow("the desktop failed") << true << BindState::failed << u"did not take"_s;
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

    // The desktop file is looked for where desktops look: applications/ in the XDG data folders.
    void desktopFileIsFoundInTheDataFolders()
    {
        TestHome home;
        QTemporaryDir system;
        qputenv("XDG_DATA_DIRS", system.path().toUtf8());
        QVERIFY(!runel::gui::isDesktopFileInstalled());
        QVERIFY(QDir().mkpath(system.filePath(u"applications"_s)));
        writeFile(system.filePath(u"applications/io.github.runel.Runel.desktop"_s), "");
        QVERIFY(runel::gui::isDesktopFileInstalled());
        qunsetenv("XDG_DATA_DIRS");
    }
};

Q_DECLARE_METATYPE(BindState)
QTEST_MAIN(TestDesktopKeyBinding)
#include "tst_desktop_key_binding.moc"
