#include "FakeHotKeyBackend.h"
#include "KeyboardShortcuts/Service.h"
#include "TestEnvironment.h"
#include "gui/app/AppDelegate.h"
#include "gui/app/GlobalShortcuts.h"
#include "gui/app/KeyMonitor.h"
#include "gui/hud/SearchWindowController.h"
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

} // namespace

// The app's shell with real stores on a temporary scripts folder, the real HUD controller and its
// hot keys on a fake back end: when the HUD opens and closes, which view model it shows, what the
// in-app keys do, and what each built-in hot key and user shortcut does to the HUD and which
// scripts run.
class TestAppDelegate : public QObject {
    Q_OBJECT

    std::unique_ptr<HudStack> m_stack;
    FileRecordingServices m_services;
    MapShortcutStorage m_storage;
    FakeHotKeyBackend *m_backend = nullptr;
    std::unique_ptr<KeyboardShortcuts::Service> m_hotKeys;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<GlobalShortcuts> m_shortcuts;

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
        QCOMPARE(m_delegate->searchWindowController() != nullptr, open);
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
        // With no settings window to open, the flag waits for a launch that has one.
        m_delegate->finishLaunching();
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
        QTest::newRow("a second press closes it") << "window window" << false << false << none;
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
        QTemporaryDir toolState;
        const QByteArray path = qgetenv("PATH");
        qputenv("FAKE_TOOL_STATE", toolState.path().toUtf8());
        qputenv("PATH", QByteArray(RUNEL_FAKE_TOOLS) + ':' + path);
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const auto gsettings = [&] { return fileBytes(toolState.filePath(u"gsettings"_s)); };
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
        QVERIFY2(text(rows[0].desktopBinding).contains(u"show --keys gd”"_s),
            qPrintable(text(rows[0].desktopBinding)));
        QVERIFY(text(rows[0].desktopBinding).contains(u"Super+Ctrl+D"_s));

        const QString picturesFolder = QStringLiteral(RUNEL_APP_PICTURES);
        QDir().mkpath(picturesFolder);
        const int scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 200 : 100;
        inBothThemes([&](const QString &theme) {
            QVERIFY(window.grab().save(
                u"%1/shortcuts-without-hot-keys-%2-%3.png"_s.arg(picturesFolder, theme)
                    .arg(scale)));
        });

        auto *add = rows[0].desktopBinding->findChild<QPushButton *>();
        QTRY_VERIFY(add->isEnabled());
        QCOMPARE(add->text(), u"Add Shortcut to GNOME"_s);
        writeFile(toolState.filePath(u"fail-gsettings"_s), "the settings daemon is gone\n");
        add->click();
        QTRY_VERIFY(text(rows[0].desktopBinding).contains(u"the settings daemon is gone"_s));
        QVERIFY(QFile::remove(toolState.filePath(u"fail-gsettings"_s)));
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
        qputenv("PATH", path);
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
