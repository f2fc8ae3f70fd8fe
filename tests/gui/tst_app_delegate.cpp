#include "FakeHotKeyBackend.h"
#include "KeyboardShortcuts/Service.h"
#include "TestEnvironment.h"
#include "gui/app/AppDelegate.h"
#include "gui/app/GlobalShortcuts.h"
#include "gui/app/KeyMonitor.h"
#include "gui/hud/SearchWindowController.h"
#include "gui/platform/DesktopKeyBinding.h"
#include "gui/platform/HotKeyFallbackRow.h"
#include "gui/settings/HotKeyNames.h"
#include "gui/settings/SettingsWindow.h"
#include "gui/settings/ShortcutControls.h"
#include "gui/settings/ShortcutsView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;
using gui::AppDelegate;
using gui::GlobalShortcuts;
using gui::HotKeyNames;
using KeyboardShortcuts::CarbonModifier::command;
using KeyboardShortcuts::CarbonModifier::control;
using KeyboardShortcuts::CarbonModifier::shift;
using Action = gui::KeyMonitor::Action;
using Shortcut = KeyboardShortcuts::Shortcut;
using gui::DesktopKeyBinding;
using BindState = KeyboardShortcuts::DesktopTriggers::BindState;

namespace {

const QUuid deployId = QUuid(u"11111111-2222-3333-4444-555555555555"_s);
const QUuid emptyId = QUuid(u"22222222-2222-3333-4444-555555555555"_s);

// The combinations the rows press, by what they are bound to.
const QHash<QString, Shortcut> combinations {
    { u"window"_s, { 37, command | shift } }, // the default: Super+Shift+L
    { u"search"_s, { 40, command | shift } },
    { u"deploy"_s, { 2, command | control } },
    { u"empty"_s, { 11, command | control } },
};

// The desktop's own shortcut for "runel toggle" and for a user shortcut's "runel show --keys
// KEYS" are written through stand-ins for gsettings, xfconf-query and kwriteconfig6
// (tests/gui/fake-tools) that keep their state in a temporary folder.
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

// The app's shell with real stores on a temporary scripts folder, the real HUD controller and its
// hot keys on a fake back end: when the HUD opens and closes, which view model it shows, what the
// in-app keys do, and what each built-in hot key and user shortcut does to the HUD and which
// scripts run; and the desktop bindings offered where Runel has no hot keys of its own.
class TestAppDelegate : public QObject {
    Q_OBJECT

    std::unique_ptr<HudStack> m_stack;
    FileRecordingServices m_services;
    MapShortcutStorage m_storage;
    FakeHotKeyBackend *m_backend = nullptr;
    std::unique_ptr<KeyboardShortcuts::Service> m_hotKeys;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<GlobalShortcuts> m_shortcuts;
    QTemporaryDir m_state; // the desktop tools' stand-ins
    QByteArray m_path = qgetenv("PATH");

    QStringList state(const QString &tool) const
    {
        return QString::fromUtf8(fileBytes(m_state.filePath(tool)))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    void bind(const QString &name, const Shortcut &shortcut)
    {
        QVERIFY(m_hotKeys->setShortcut(shortcut, { name, {} }));
    }
    bool press(const QString &what)
    {
        m_hotKeys->flush();
        return m_backend->press(combinations.value(what));
    }
    QStringList ranScripts() const
    {
        QStringList names;
        for (const auto &run : m_stack->log->runs())
            names.append(run->scriptName());
        return names;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_state.isValid());
        for (const QString &name : QDir(m_state.path()).entryList(QDir::Files))
            QFile::remove(m_state.filePath(name));
        qputenv("FAKE_TOOL_STATE", m_state.path().toUtf8());
        qputenv("PATH", QByteArray(RUNEL_FAKE_TOOLS) + ':' + m_path);
        // hang.sh runs until the test writes hang.sh.go.
        m_stack = std::make_unique<HudStack>(QList<std::pair<QString, QByteArray>> {
            { u"hang.sh"_s, "while [ ! -e \"$0.go\" ]; do sleep 0.02; done\n" },
            { u"quick.sh"_s, "echo done\n" }, { u"git/deploy.sh"_s, "echo deployed\n" },
            { u"echo.sh"_s, "echo echoed\n" } });
        QVERIFY(m_stack->loaded);
        m_stack->config->setShortcuts({ { deployId, u"gd"_s }, { emptyId, QString() } });
        m_storage = {};
        auto backend = std::make_unique<FakeHotKeyBackend>();
        m_backend = backend.get();
        m_hotKeys = std::make_unique<KeyboardShortcuts::Service>(m_storage, std::move(backend));
        m_delegate = std::make_unique<AppDelegate>(
            *m_stack->config, *m_stack->store, *m_stack->log, m_services);
        m_shortcuts = std::make_unique<GlobalShortcuts>(*m_hotKeys, *m_stack->config, *m_delegate);
        bind(HotKeyNames::toggleSearchMode.rawValue, combinations[u"search"_s]);
        bind(HotKeyNames::nameFor(deployId).rawValue, combinations[u"deploy"_s]);
        bind(HotKeyNames::nameFor(emptyId).rawValue, combinations[u"empty"_s]);
    }
    void cleanup()
    {
        qputenv("PATH", m_path);
        m_shortcuts.reset();
        m_delegate.reset();
        m_hotKeys.reset();
        m_stack.reset();
    }

    void commandSequences_data()
    {
        QTest::addColumn<QString>("commands");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("searchMode");
        QTest::newRow("reopen toggles as toggle does") << "reopen reopen reopen" << true << false;
        QTest::newRow("show on an open HUD keeps it open") << "show show" << true << false;
        QTest::newRow("toggle-search opens in search mode") << "toggle-search" << true << true;
    }
    void commandSequences()
    {
        QFETCH(QString, commands);
        QFETCH(bool, open);
        for (const QString &name : commands.split(u' '))
            m_delegate->perform(*instanceCommandFromName(name));
        QCOMPARE(m_delegate->isSearchWindowOpen(), open);
        QCOMPARE(m_delegate->viewModel() != nullptr, open);
        if (open) {
            QVERIFY(m_delegate->searchWindowController()->hudWindow()->isVisible());
            QTEST(m_delegate->viewModel()->isSearchMode(), "searchMode");
        }
    }

    // The index follows edits of the scripts folder with no reload command; a folder that cannot
    // be watched (here: deleted, then made again) is read again when the HUD opens.
    void theIndexFollowsTheFolder()
    {
        const QString folder = m_stack->config->scriptsDir();
        m_delegate->finishLaunching();
        QTRY_VERIFY(m_delegate->scriptsWatcher().watchedFolders().contains(folder));
        const auto indexed = [this](const QString &relative) {
            const auto &entries = m_stack->store->scriptIndex()->file.entries;
            return std::any_of(entries.begin(), entries.end(),
                [&](const FileItem &file) { return file.relativePath == relative; });
        };
        writeFile(folder + u"/new/fresh.sh"_s, "echo\n");
        QTRY_VERIFY(indexed(u"new/fresh.sh"_s));

        QVERIFY(QDir(folder).removeRecursively());
        QTRY_VERIFY(m_stack->store->error());
        writeFile(folder + u"/back.sh"_s, "echo\n");
        m_delegate->showSearchWindow();
        QTRY_VERIFY(indexed(u"back.sh"_s));
    }

    // Closed with Escape while a foreground script runs, the HUD closes and the run goes on;
    // the next opening is fresh. The run's view model stays until the run has ended (its
    // outcome is sounded), then goes.
    void aForegroundRunGoesOnWithoutTheHud()
    {
        m_stack->config->setSuccessSound(u"Default"_s);
        m_services.sounds.clear();
        m_delegate->showSearchWindow();
        QPointer<SearchViewModel> running = m_delegate->viewModel();
        // "h" names hang.sh only; the run starts after the short script delay.
        running->handleCharacter(u"h"_s);
        QTRY_VERIFY(running->executionStatus().is(ExecutionStatus::Kind::runningForeground));
        running->handleEscape();
        QVERIFY(!m_delegate->isSearchWindowOpen());
        QCOMPARE(m_delegate->backgroundViewModels(), std::vector<SearchViewModel *> { running });

        m_delegate->showSearchWindow();
        QVERIFY(m_delegate->viewModel() != running);
        QVERIFY(m_delegate->viewModel()->executionStatus().is(ExecutionStatus::Kind::idle));
        QVERIFY(running->executionStatus().is(ExecutionStatus::Kind::runningForeground));

        writeFile(m_stack->home.file(u"scripts/hang.sh.go"_s));
        QTRY_VERIFY(m_delegate->backgroundViewModels().empty());
        QTRY_VERIFY(!running);
        QTRY_COMPARE(m_services.sounds, QStringList { u"complete"_s });
    }

    void firstLaunchWritesTheFlagOnce()
    {
        QVERIFY(m_stack->config->isFirstLaunch());
        int opened = 0;
        m_delegate->setOpenSettingsAction([&opened] { ++opened; });
        m_delegate->showSearchWindow();
        m_delegate->finishLaunching();
        QCOMPARE(opened, 1);
        QVERIFY(!m_stack->config->isFirstLaunch());
        QVERIFY(!m_delegate->isSearchWindowOpen()); // openSettings hid the HUD
    }

    // Ctrl+Shift+comma (read as "<" too), Ctrl+comma, Ctrl+R and Ctrl+Q are the app's keys;
    // Shift+comma alone, Ctrl+C and letters go on to the HUD.
    void theKeyMonitorTakesItsKeysFromTheHud()
    {
        QList<Action> seen;
        gui::KeyMonitor monitor([&seen](Action action) { seen.append(action); });
        qApp->installEventFilter(&monitor);
        m_delegate->showSearchWindow();
        QWidget *hud = m_delegate->searchWindowController()->hudWindow();
        QVERIFY(QTest::qWaitForWindowExposed(hud));
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shifted = Qt::ShiftModifier;
        const std::pair<Qt::Key, Qt::KeyboardModifiers> presses[] {
            { Qt::Key_Comma, ctrl | shifted }, { Qt::Key_Less, ctrl | shifted },
            { Qt::Key_Comma, ctrl }, { Qt::Key_R, ctrl }, { Qt::Key_Q, ctrl },
            { Qt::Key_Less, shifted }, { Qt::Key_C, ctrl }, { Qt::Key_Q, {} }
        };
        for (const auto &[key, modifiers] : presses)
            QTest::keyClick(hud->windowHandle(), key, modifiers);
        QCOMPARE(seen,
            (QList<Action> { Action::openScriptsFolder, Action::openScriptsFolder,
                Action::openSettings, Action::reloadScripts, Action::quit }));
        QCOMPARE(m_delegate->viewModel()->keys().size(), size_t(1)); // "q" reached the HUD
    }

    void presses_data()
    {
        QTest::addColumn<QString>("presses");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("searchMode");
        QTest::addColumn<QStringList>("runs");
        const QStringList none;
        QTest::newRow("a shortcut runs its keys' script at once")
            << "deploy" << true << false << QStringList { u"Deploy"_s };
        QTest::newRow("a shortcut plays into the open HUD")
            << "window deploy" << true << false << QStringList { u"Deploy"_s };
        QTest::newRow("the search key switches an open HUD to search")
            << "window search" << true << true << none;
    }
    void presses()
    {
        QFETCH(QString, presses);
        QFETCH(bool, open);
        QFETCH(QStringList, runs);
        const QStringList keys = presses.split(u' ');
        for (const QString &what : keys)
            QVERIFY2(press(what), qPrintable(what + u" is not held"_s));
        // Every press held what was typed after it; the keys go once the HUD has the focus (or
        // at once when it closed), never while a press is being reported.
        QCOMPARE(m_backend->pressHolds, int(keys.size()));
        QVERIFY(m_backend->releases.empty());
        QTRY_VERIFY(!m_backend->releases.empty());
        QTRY_COMPARE(ranScripts(), runs);
        // A finished run closes the HUD by itself; the state right after the presses counts.
        if (runs.isEmpty()) {
            QCOMPARE(m_backend->releases.back(), open ? m_delegate->hudWindowId() : 0);
            QCOMPARE(m_delegate->isSearchWindowOpen(), open);
            if (open)
                QTEST(m_delegate->viewModel()->isSearchMode(), "searchMode");
        }
    }

    // "runel show --keys KEYS" does what a user shortcut with those keys does; keys naming
    // nothing open the HUD and beep.
    void keysFromTheCommandLinePlayAsAShortcut()
    {
        m_services.beeps = 0;
        m_shortcuts->playKeys(u"gz"_s);
        QVERIFY(m_delegate->isSearchWindowOpen());
        QCOMPARE(m_delegate->viewModel()->keys(), KeyGroup { u"g"_s });
        QTRY_COMPARE(m_services.beeps, 1);
        QVERIFY(ranScripts().isEmpty());
    }

    // A combination another program holds is said once on standard error, however often the
    // bindings are made again (an open menu lets go of them all); "Open Runel" still opens the HUD.
    void aTakenKeyIsSaidOnce()
    {
        m_backend->heldElsewhere.insert(combinations[u"window"_s]);
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(
                uR"(^Super\+Shift\+L \(Show or hide the HUD\) is taken by another program)"_s));
        m_hotKeys->flush();
        QVERIFY(m_hotKeys->isHeldElsewhere(HotKeyNames::toggleSearchWindow));
        QTest::failOnWarning(QRegularExpression(u"taken by another program"_s));
        m_hotKeys->hotKeyCenter().setMenuOpen(true);
        m_hotKeys->hotKeyCenter().setMenuOpen(false);
        QCOMPARE(m_backend->calls.size(), 3u);
        m_delegate->toggleSearchWindow();
        QVERIFY(m_delegate->isSearchWindowOpen());
    }

    // The handlers hold copies of the records: an edit and a removal take effect through the
    // registration every change of the setting triggers.
    void editsAndRemovalsTakeEffectAtOnce()
    {
        m_stack->config->setShortcuts({ { deployId, u"e"_s } });
        QVERIFY(press(u"deploy"_s));
        QTRY_COMPARE(ranScripts(), QStringList { u"Echo"_s });

        // The removed shortcuts' combinations went with them, so a new one starts unbound.
        const QString removed = HotKeyNames::nameFor(emptyId).storageKey();
        QVERIFY(m_storage.value(removed).is_null());
        QVERIFY(!press(u"empty"_s));
        const QUuid fresh = QUuid::createUuid();
        m_stack->config->setShortcuts({ { deployId, u"e"_s }, { fresh, u"gd"_s } });
        QVERIFY(!m_hotKeys->getShortcut(HotKeyNames::nameFor(fresh)));
        QCOMPARE(m_shortcuts->registeredShortcutIDs(), (QSet<QUuid> { deployId, fresh }));
    }

    // Without hot keys of Runel's own, each user shortcut's row offers the desktop binding of
    // its "runel show --keys KEYS" at the combination recorded for it (here GNOME, through a
    // stand-in for gsettings). It follows edits of the keys; removing the shortcut removes the
    // binding; a failure of the desktop's tools shows in their words. Pictures of the tab go to
    // the build folder.
    void shortcutsTabWithoutHotKeys()
    {
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const auto gsettings = [&] { return fileBytes(m_state.filePath(u"gsettings"_s)); };
        m_shortcuts.reset();
        m_hotKeys = std::make_unique<KeyboardShortcuts::Service>(
            m_storage, std::make_unique<FakeHotKeyBackend>(FakeHotKeyBackend::Kind::none));
        m_shortcuts = std::make_unique<GlobalShortcuts>(*m_hotKeys, *m_stack->config, *m_delegate);
        gui::ShortcutControls controls(*m_hotKeys, *m_stack->config, {});
        m_stack->config->setShortcuts({ { deployId, u"gd"_s }, { emptyId, QString() } });
        // The recorded combination of emptyId is gone with the shortcut; it has none now.
        m_hotKeys->reset({ HotKeyNames::nameFor(emptyId) });
        runel::LaunchAtLogin launchAtLogin(m_stack->home.file(u"autostart"_s), u"runel"_s);
        gui::SettingsWindow window(
            { *m_stack->config, *m_stack->store, *m_stack->log, m_services, launchAtLogin,
                [&controls](const QString &name, QWidget *parent) {
                    return controls.makeRecorder(name, parent);
                },
                [&controls](const QString &name) { controls.resetShortcut(name); }, {},
                [&controls](const QString &name, QWidget *parent) {
                    return controls.makeDesktopBinding(name, parent);
                } });
        window.setCurrentTab(gui::SettingsWindow::SettingsTab::shortcuts);
        window.show();
        const QList<gui::ShortcutsView::Row> &rows = window.shortcuts()->rows();
        QCOMPARE(rows.size(), 2);
        const auto text = [](QWidget *widget) {
            QStringList texts;
            for (QLabel *label : widget->findChildren<QLabel *>())
                texts.append(label->text());
            return texts.join(u'\n');
        };
        QVERIFY(rows[0].desktopBinding && rows[1].desktopBinding);
        QVERIFY2(text(rows[0].desktopBinding)
                     .contains(
                         QRegularExpression(u"Super\\+Ctrl\\+D runs “\\S*runel show --keys gd”"_s)),
            qPrintable(text(rows[0].desktopBinding)));

        // The pictures once the row has heard from the desktop's tools: its button's text
        // comes with that answer, and the row is laid out anew for it.
        auto *add = rows[0].desktopBinding->findChild<QPushButton *>();
        QTRY_VERIFY(add->isEnabled());
        QCOMPARE(add->text(), u"Add Shortcut to GNOME"_s);
        const QString picturesFolder = QStringLiteral(RUNEL_APP_PICTURES);
        QDir().mkpath(picturesFolder);
        const int scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 200 : 100;
        inBothThemes([&](const QString &theme) {
            QVERIFY(window.grab().save(
                u"%1/shortcuts-without-hot-keys-%2-%3.png"_s.arg(picturesFolder, theme)
                    .arg(scale)));
        });

        writeFile(m_state.filePath(u"fail-gsettings"_s), "the settings daemon is gone\n");
        add->click();
        QTRY_VERIFY(text(rows[0].desktopBinding).contains(u"the settings daemon is gone"_s));
        QVERIFY(QFile::remove(m_state.filePath(u"fail-gsettings"_s)));
        QTRY_VERIFY(add->isEnabled());
        add->click();
        QTRY_COMPARE(add->text(), u"Remove"_s);
        QVERIFY(gsettings().contains("show --keys gd'"));
        // An edit of the keys: the row shows the new command.
        rows[0].keySequence->setFocus();
        QTest::keyClicks(rows[0].keySequence, u"x"_s);
        QTRY_VERIFY(text(rows[0].desktopBinding).contains(u"show --keys gdx”"_s));

        rows[0].remove->click();
        QTRY_VERIFY(!gsettings().contains("runel-"));
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
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
QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
