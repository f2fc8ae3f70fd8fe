#include "TestEnvironment.h"
#include "gui/app/AppDelegate.h"
#include "gui/app/KeyMonitor.h"
#include "gui/hud/HudPanel.h"
#include "gui/hud/SearchWindowController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QtTest>

using namespace runel;
using gui::AppDelegate;
using Action = gui::KeyMonitor::Action;

Q_DECLARE_METATYPE(gui::KeyMonitor::Action)

// The app's shell with real stores on a temporary scripts folder and the real HUD controller:
// when the HUD opens and closes, which view model it shows, and what the in-app keys do.
class TestAppDelegate : public QObject {
    Q_OBJECT

    std::unique_ptr<HudStack> m_stack;
    FileRecordingServices m_services;
    std::unique_ptr<AppDelegate> m_delegate;

    void startRun()
    {
        // "h" names hang.sh only; the run starts after the short script delay.
        m_delegate->viewModel()->handleCharacter(QStringLiteral("h"));
        QTRY_VERIFY(m_delegate->viewModel()->executionStatus().is(
            ExecutionStatus::Kind::runningForeground));
    }

private Q_SLOTS:
    void init()
    {
        // hang.sh runs until the test writes hang.sh.go.
        m_stack = std::make_unique<HudStack>(QList<std::pair<QString, QByteArray>> {
            { QStringLiteral("hang.sh"), "while [ ! -e \"$0.go\" ]; do sleep 0.02; done\n" },
            { QStringLiteral("quick.sh"), "echo done\n" } });
        QVERIFY(m_stack->loaded);
        m_delegate = std::make_unique<AppDelegate>(
            *m_stack->config, *m_stack->store, *m_stack->log, m_services);
    }
    void cleanup()
    {
        m_delegate.reset();
        m_stack.reset();
    }

    void commandSequences_data()
    {
        QTest::addColumn<QString>("commands");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("searchMode");
        QTest::newRow("two toggles open and close") << "toggle toggle" << false << false;
        QTest::newRow("reopen toggles as toggle does") << "reopen reopen reopen" << true << false;
        QTest::newRow("show on an open HUD keeps it open") << "show show" << true << false;
        QTest::newRow("hide on a closed HUD does nothing") << "hide" << false << false;
        QTest::newRow("toggle-search opens in search mode") << "toggle-search" << true << true;
        QTest::newRow("settings hides the HUD first") << "show settings" << false << false;
        QTest::newRow("reload leaves the HUD as it is") << "show reload" << true << false;
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
        writeFile(folder + QStringLiteral("/new/fresh.sh"), "echo\n");
        QTRY_VERIFY(indexed(QStringLiteral("new/fresh.sh")));
        QVERIFY(QFile::remove(folder + QStringLiteral("/quick.sh")));
        QTRY_VERIFY(!indexed(QStringLiteral("quick.sh")));

        QVERIFY(QDir(folder).removeRecursively());
        QTRY_VERIFY(m_stack->store->error());
        writeFile(folder + QStringLiteral("/back.sh"), "echo\n");
        m_delegate->showSearchWindow();
        QTRY_VERIFY(indexed(QStringLiteral("back.sh")));
    }

    // A fresh view model and HUD; the results panel is made once, hidden in between.
    void everyOpeningIsFresh()
    {
        m_delegate->showSearchWindow();
        QPointer<SearchViewModel> first = m_delegate->viewModel();
        QPointer<QWidget> firstHud = m_delegate->searchWindowController()->hudWindow();
        QWidget *results = m_delegate->searchWindowController()->resultsWindow();
        first->handleCharacter(QStringLiteral("q"));
        m_delegate->hideSearchWindow();
        QVERIFY(m_delegate->backgroundViewModels().empty()); // nothing ran: nothing kept
        m_delegate->showSearchWindow();
        QVERIFY(m_delegate->viewModel() != first);
        QCOMPARE(m_delegate->searchWindowController()->resultsWindow(), results);
        QVERIFY(m_delegate->viewModel()->keys().empty());
        QTRY_VERIFY(!first && !firstHud); // released, not leaked
    }

    // Hidden, closed with Escape or by a click elsewhere while a foreground script runs, the HUD
    // closes and the run goes on; the next opening is fresh. The run's view model stays until
    // the run has ended (its outcome is sounded), then goes.
    void aForegroundRunGoesOnWithoutTheHud_data()
    {
        QTest::addColumn<QString>("closing");
        QTest::newRow("hidden") << QStringLiteral("hide");
        QTest::newRow("Escape") << QStringLiteral("escape");
        QTest::newRow("a click elsewhere") << QStringLiteral("deactivate");
    }
    void aForegroundRunGoesOnWithoutTheHud()
    {
        QFETCH(QString, closing);
        m_stack->config->setSuccessSound(QStringLiteral("Default"));
        m_services.sounds.clear();
        m_delegate->showSearchWindow();
        startRun();
        QPointer<SearchViewModel> running = m_delegate->viewModel();
        if (closing == QStringLiteral("hide"))
            m_delegate->hideSearchWindow();
        else if (closing == QStringLiteral("escape"))
            running->handleEscape();
        else
            Q_EMIT qobject_cast<gui::HudPanel *>(m_delegate->searchWindowController()->hudWindow())
                ->deactivated();
        QVERIFY(!m_delegate->isSearchWindowOpen());
        QCOMPARE(m_delegate->backgroundViewModels(), std::vector<SearchViewModel *> { running });

        m_delegate->showSearchWindow();
        QVERIFY(m_delegate->viewModel() != running);
        QVERIFY(m_delegate->viewModel()->executionStatus().is(ExecutionStatus::Kind::idle));
        QVERIFY(running->executionStatus().is(ExecutionStatus::Kind::runningForeground));

        writeFile(m_stack->home.file(QStringLiteral("scripts/hang.sh.go")));
        QTRY_VERIFY(m_delegate->backgroundViewModels().empty());
        QTRY_VERIFY(!running);
        QTRY_COMPARE(m_services.sounds, QStringList { QStringLiteral("complete") });
    }

    void theHudClosingItselfDropsItsViewModel()
    {
        m_delegate->showSearchWindow();
        QPointer<SearchViewModel> shown = m_delegate->viewModel();
        shown->handleEscape(); // empty keys: Escape closes the HUD
        QVERIFY(!m_delegate->isSearchWindowOpen());
        QVERIFY(!m_delegate->searchWindowController());
        QTRY_VERIFY(!shown);
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
        ConfigManager reread(
            std::make_unique<SettingsFile>(SettingsFile::defaultPath()), QString());
        QVERIFY(!reread.isFirstLaunch());
    }

    void inAppKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<Action>("action");
        const int ctrl = Qt::ControlModifier;
        const int shift = Qt::ShiftModifier;
        QTest::newRow("Ctrl+Shift+comma read as \"<\" too")
            << int(Qt::Key_Less) << (ctrl | shift) << Action::openScriptsFolder;
        QTest::newRow("Ctrl+comma opens the settings")
            << int(Qt::Key_Comma) << ctrl << Action::openSettings;
        QTest::newRow("Ctrl+Alt+R reloads too")
            << int(Qt::Key_R) << (ctrl | int(Qt::AltModifier)) << Action::reloadScripts;
        QTest::newRow("Ctrl+Q quits") << int(Qt::Key_Q) << ctrl << Action::quit;
        QTest::newRow("R alone goes to the HUD") << int(Qt::Key_R) << 0 << Action::none;
        QTest::newRow("Shift+comma alone goes to the HUD")
            << int(Qt::Key_Less) << shift << Action::none;
        QTest::newRow("Ctrl+C goes to the HUD") << int(Qt::Key_C) << ctrl << Action::none;
    }
    void inAppKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(Action, action);
        QCOMPARE(gui::KeyMonitor::actionFor(
                     QKeyEvent(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers))),
            action);
    }

    void theKeyMonitorTakesItsKeysFromTheHud()
    {
        QList<Action> seen;
        gui::KeyMonitor monitor([&seen](Action action) { seen.append(action); });
        qApp->installEventFilter(&monitor);
        m_delegate->showSearchWindow();
        QWidget *hud = m_delegate->searchWindowController()->hudWindow();
        QVERIFY(QTest::qWaitForWindowExposed(hud));
        QTest::keyClick(
            hud->windowHandle(), Qt::Key_Comma, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(hud->windowHandle(), Qt::Key_R, Qt::ControlModifier);
        QTest::keyClick(hud->windowHandle(), Qt::Key_Q);
        QCOMPARE(seen, (QList<Action> { Action::openScriptsFolder, Action::reloadScripts }));
        QCOMPARE(m_delegate->viewModel()->keys().size(), size_t(1)); // "q" reached the HUD
        m_delegate->openScriptsFolder();
        QCOMPARE(m_services.opened, QStringList { m_stack->config->scriptsDir() });
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
