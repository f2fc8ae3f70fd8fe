#include "TestEnvironment.h"
#include "core/XdgDirs.h"
#include "gui/settings/AdvancedSettingsView.h"
#include "gui/settings/GeneralSettingsView.h"
#include "gui/settings/LogRunModel.h"
#include "gui/settings/LogView.h"
#include "gui/settings/ScriptHealthModel.h"
#include "gui/settings/ScriptHealthView.h"
#include "gui/settings/SettingsForm.h"
#include "gui/settings/SettingsRows.h"
#include "gui/settings/ShortcutsView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>

using namespace runel;
using namespace runel::gui;
using namespace Qt::StringLiterals;
using Tab = SettingsWindow::SettingsTab;

namespace {

// Not valid UTF-8: a read failure, so the file has no keys.
const QByteArray unreadable = "\xff\xfe";

} // namespace

// The settings window's tabs driven like a user would, on a real settings file, a real autostart
// entry and real script and log stores, and pictures of every tab.
class TestSettingsWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsStack> m_stack;

    SettingsWindow &window() { return *m_stack->window; }
    ConfigManager &config() { return *m_stack->hud.config; }
    GeneralSettingsView &general() { return *window().general(); }
    ShortcutsView &shortcuts() { return *window().shortcuts(); }
    ScriptHealthView &scripts() { return *window().scripts(); }
    LogView &log() { return *window().log(); }
    LogStore &logStore() { return *m_stack->hud.log; }

    void open(const QList<std::pair<QString, QByteArray>> &files, Tab tab)
    {
        m_stack.reset(); // the next stack's home replaces this one's
        m_stack = std::make_unique<SettingsStack>(files);
        QVERIFY(m_stack->hud.loaded);
        window().setCurrentTab(tab);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }
    QStringList rowPaths()
    {
        QStringList paths;
        for (int row = 0; row < scripts().model()->rowCount(); ++row)
            paths.append(scripts().model()->item(row).script->relativePath);
        return paths;
    }
    // A finished run's files as another process (`runel run`) leaves them.
    void writeRun(const QString &name, const QDateTime &date)
    {
        LogRecord record { QUuid::createUuid(), name, date, {}, RunExitStatus::success };
        record.logFileName = LogRecord::logFileNameFor(record.id);
        const QString folder = logStore().logDirectory() + u'/';
        writeFile(folder + record.logFileName, {});
        writeFile(folder + LogRecord::recordFileNameFor(record.id),
            QByteArray::fromStdString(record.toJson()));
    }
    QStringList logRows()
    {
        QStringList rows;
        for (int row = 0; row < log().model()->rowCount(); ++row) {
            const QModelIndex index = log().model()->index(row);
            rows.append(index.data().toString() + u' '
                + index.data(LogRunModel::statusTextRole).toString());
        }
        return rows;
    }

    // A setting's row or control, by the name the table gives it.
    QWidget *controlOf(const QString &name)
    {
        AdvancedSettingsView &advanced = *window().advanced();
        return QHash<QString, QWidget *> {
            { u"script"_s, general().scriptDelayRow() },
            { u"autorun"_s, advanced.autorunDelayRow() },
            { u"failure"_s, general().failureSoundRow() },
            { u"background"_s, general().backgroundSuccessSoundRow() },
            { u"enhance"_s, general().enhanceLabelsToggle() }
        }.value(name);
    }
    void keys(QWidget *widget, const QList<int> &presses)
    {
        for (int key : presses)
            QTest::keyClick(widget, Qt::Key(key));
    }
    // The user's presses on a control; for "folder", in the chooser that "Select" opens.
    void press(const QString &control, const QList<int> &presses)
    {
        if (control == u"folder") {
            // The last chooser, closed, goes when the event loop gets to it.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            general().selectFolderButton()->click();
            QFileDialog *chooser = general().folderChooser();
            QVERIFY(chooser && chooser->fileMode() == QFileDialog::Directory);
            QCOMPARE(chooser->labelText(QFileDialog::Accept), u"Select"_s);
            const QString other = m_stack->hud.home.file(u"other"_s);
            QDir().mkpath(other);
            chooser->selectFile(other);
            keys(chooser, presses);
        } else if (auto *slider = qobject_cast<DelaySliderRow *>(controlOf(control))) {
            keys(slider->slider(), presses);
        } else if (auto *sound = qobject_cast<SoundPickerRow *>(controlOf(control))) {
            keys(sound->picker(), presses);
        } else {
            keys(controlOf(control), presses);
        }
    }
    // What a control shows, the home folder written as $HOME; a sound row also what it played.
    QString shown(const QString &control)
    {
        QString text;
        QWidget *widget = controlOf(control);
        if (control == u"folder")
            text = general().scriptsFolderLabel()->fullText();
        else if (auto *row = qobject_cast<DelaySliderRow *>(widget))
            text = row->valueText() + u" at "_s + QString::number(row->slider()->value());
        else if (auto *picker = qobject_cast<SoundPickerRow *>(widget))
            text = picker->picker()->currentText() + u" played "_s
                + m_stack->services.sounds.join(u',');
        else
            text = qobject_cast<QCheckBox *>(widget)->isChecked() ? u"on"_s : u"off"_s;
        return text.replace(QDir::homePath(), u"$HOME"_s);
    }
    // A folder where the file should be: no save can replace it, not even as root.
    void breakSettingsFile()
    {
        QVERIFY(QFile::remove(SettingsFile::defaultPath()));
        QVERIFY(QDir().mkpath(SettingsFile::defaultPath()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setPalette(themePalette(false));
        if (qEnvironmentVariable("RUNEL_PICTURE_FONT") == u"large") {
            QFont font = QApplication::font();
            font.setPointSizeF(font.pointSizeF() * 1.6);
            QApplication::setFont(font);
        }
    }

    void init()
    {
        open({ { u"alpha.sh"_s, "#!/bin/bash\n" },
                 { u"web/open site.sh"_s,
                     "#!/bin/bash\n# @runel.lable Open\n# @runel.pinned yes\n" } },
            Tab::general);
        config().setResultsVisibility(ResultsVisibility::delayed);
        config().setAutorunEnabled(true);
    }
    void cleanup() { m_stack.reset(); }

    // Every control of a setting on the General and Advanced tabs: what one input shows and
    // stores (the home written as $HOME); a change made elsewhere showing up; and an input whose
    // save fails showing what is stored again, with the problem shown until a save works.
    void controlsOfSettings_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QList<int>>("presses");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QVariant>("elsewhere"); // assigned to the key's setting
        QTest::addColumn<QString>("shownElsewhere");
        const int home = Qt::Key_Home, end = Qt::Key_End, right = Qt::Key_Right,
                  left = Qt::Key_Left, down = Qt::Key_Down, space = Qt::Key_Space;
        const auto row = [](const char *name, const char *control, QList<int> presses,
                             const char *shown, const char *key, const char *stored,
                             const QVariant &elsewhere, const char *shownElsewhere) {
            QTest::newRow(name) << QString::fromUtf8(control) << presses << QString::fromUtf8(shown)
                                << QByteArray(key) << QString::fromUtf8(stored) << elsewhere
                                << QString::fromUtf8(shownElsewhere);
        };
        row("no step below the low end", "script", { home, left, left }, "0.3s at 3", "scriptDelay",
            "0.3", 2.0, "2.0s at 20");
        row("no step above the high end", "autorun", { end, right }, "3.0s at 30", "autorunDelay",
            "3.0", 2.2, "2.2s at 22");
        // Failure starts at "Default", background success at "None".
        row("Default in Failure plays the failure sound", "failure", { home, down },
            "Default played dialog-error", "failureSound", "Default", u"None"_s, "None played ");
        row("a theme sound plays itself", "background", { down }, "Bell played bell",
            "backgroundSuccessSound", "bell", u"None"_s, "None played ");
        row("a switch", "enhance", { space }, "off", "enhanceLabels", "false", true, "on");
        row("the chosen folder is stored under ~", "folder", { Qt::Key_Return }, "$HOME/other",
            "scriptsDir", "~/other", u"~/else"_s, "$HOME/else");
    }
    void controlsOfSettings()
    {
        QFETCH(QString, control);
        QFETCH(QList<int>, presses);
        QFETCH(QByteArray, key);
        QFETCH(QVariant, elsewhere);
        QFETCH(QString, shownElsewhere);
        if (controlOf(control) && window().advanced()->isAncestorOf(controlOf(control)))
            window().setCurrentTab(Tab::advanced);
        press(control, presses);
        QTEST(shown(control), "shown");
        const nlohmann::json value = m_stack->stored(key.constData());
        QString stored
            = QString::fromStdString(value.is_string() ? value.get<std::string>() : value.dump());
        QTEST(stored.replace(QDir::homePath(), u"$HOME"_s), "stored");

        m_stack->services.sounds.clear();
        QVERIFY(config().setProperty(key.constData(), elsewhere));
        QCOMPARE(shown(control), shownElsewhere);

        const nlohmann::json before = m_stack->stored(key.constData());
        breakSettingsFile();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Settings not saved"_s));
        press(control, presses);
        QCOMPARE(
            shown(control).section(u" played"_s, 0, 0), shownElsewhere.section(u" played"_s, 0, 0));
        QVERIFY(window().problem().startsWith(u"Settings not saved"_s));
        QVERIFY(QDir(SettingsFile::defaultPath()).removeRecursively());
        config().setIsFirstLaunch(false);
        QCOMPARE(m_stack->stored(key.constData()), before);
        keys(general().scriptDelayRow()->slider(), { Qt::Key_Home });
        QVERIFY(window().problem().isEmpty());
    }

    void shortcutsAddEditDelete()
    {
        window().setCurrentTab(Tab::shortcuts);
        QVERIFY(shortcuts().emptyRow() && shortcuts().emptyRow()->isVisible());
        shortcuts().addButton()->click();
        shortcuts().addButton()->click();
        QCOMPARE(shortcuts().rows().size(), 2);
        QCOMPARE(m_stack->stored("shortcuts").size(), 2u);
        const auto names = [this] {
            QStringList list;
            for (const ShortcutsView::Row &row : shortcuts().rows())
                list.append(row.recorder->objectName());
            return list;
        };
        const QStringList first = names();
        QVERIFY(first[0].startsWith(u"shortcut-"_s) && first[0] != first[1]);

        // Every keystroke is stored; the field keeps its focus while the list is rewritten.
        QLineEdit *field = shortcuts().rows()[0].keySequence;
        field->setFocus();
        QTest::keyClick(field, 'g');
        QCOMPARE(m_stack->stored("shortcuts")[0]["keySequence"], "g");
        QTest::keyClicks(field, u"S "_s);
        QCOMPARE(m_stack->stored("shortcuts")[0]["keySequence"], "gS ");
        QCOMPARE(shortcuts().rows()[0].keySequence, field);

        // Deleting resets the hot key first; a shortcut added afterwards has a fresh name.
        shortcuts().rows()[0].remove->click();
        QCOMPARE(m_stack->resetNames, QStringList { first[0] });
        QCOMPARE(names(), QStringList { first[1] });
        shortcuts().addButton()->click();
        QVERIFY(!first.contains(names().constLast()));
    }

    // settings.json turning unreadable while the window is open shows at once, and goes once the
    // file is readable again, with no save in between.
    void aFileBrokenWhileOpenIsShownUntilFixed()
    {
        config().watchStore();
        const QString path = SettingsFile::defaultPath();
        const QByteArray good = fileBytes(path);
        QVERIFY(!good.isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"was changed and cannot be read"_s));
        writeFile(path, "{\"scriptDelay\": ");
        QTRY_VERIFY(window().problem().contains(u"cannot be read"_s));
        writeFile(path, good);
        QTRY_VERIFY(window().problem().isEmpty());
    }

    // The toggle writes and removes the entry; what is on disk wins when the tab shows again.
    void launchAtLoginToggle()
    {
        QCheckBox *toggle = general().launchAtLoginToggle();
        const QString entry = m_stack->launchAtLogin.entryPath();
        const auto showAgain = [this] {
            window().setCurrentTab(Tab::about);
            window().setCurrentTab(Tab::general);
        };
        toggle->click();
        QVERIFY(toggle->isChecked());
        const QByteArray written = fileBytes(entry);
        QVERIFY(written.startsWith("[Desktop Entry]\nType=Application\n"));
        QVERIFY(written.contains("\nExec=/opt/runel/bin/runel\n"));
        toggle->click();
        QVERIFY(!toggle->isChecked() && !QFile::exists(entry));
        QVERIFY(m_stack->launchAtLogin.setEnabled(false)); // nothing to remove is no failure
        // What is on disk wins when the tab shows again; Hidden counts in the entry's own group.
        writeFile(entry, "[Desktop Entry]\nExec=runel\n[Desktop Action x]\nHidden=true\n");
        showAgain();
        QVERIFY(toggle->isChecked());
        const QByteArray hidden = "[Desktop Entry]\nExec=/old/runel\nHidden = true\n";
        writeFile(entry, hidden);
        showAgain();
        QVERIFY(!toggle->isChecked());

        // On a full disk the box goes back, says why and leaves the old entry as it was; the next
        // change that works clears the message.
        {
            FileSizeLimit full(0);
            QTest::ignoreMessage(
                QtCriticalMsg, QRegularExpression(u"^Launch at login could not be turned on: "_s));
            toggle->click();
        }
        QVERIFY(!toggle->isChecked());
        QCOMPARE(fileBytes(entry), hidden);
        QCOMPARE(QDir(XdgDirs::autostartDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        QVERIFY2(general().launchAtLoginError().contains(u"File too large"_s),
            qPrintable(general().launchAtLoginError()));
        toggle->click();
        QVERIFY(toggle->isChecked() && general().launchAtLoginError().isEmpty());
    }

    // The entry's Exec line: quoted and escaped as desktop entries want it.
    void execArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("exec");
        // Inside quotes $ and \ take a backslash, which the string value then doubles.
        QTest::newRow("a space quotes, $ and \\ are escaped inside")
            << u"/my apps/a$b\\c"_s << u"\"/my apps/a\\\\$b\\\\\\\\c\""_s;
        QTest::newRow("a percent sign is doubled") << u"/50%/runel"_s << u"/50%%/runel"_s;
    }
    void execArgument()
    {
        QFETCH(QString, argument);
        QTEST(LaunchAtLogin::execArgument(argument), "exec");
    }

    void theEntryStartsTheCommandBesideTheApp()
    {
        const QString build = m_stack->hud.home.file(u"build"_s);
        writeFile(build + u"/runel"_s);
        QFile::setPermissions(build + u"/runel"_s, QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(LaunchAtLogin::commandBesideApp(build + u"/runel-app"_s), build + u"/runel"_s);
        QCOMPARE(LaunchAtLogin::commandBesideApp(u"/usr/libexec/runel/runel-app"_s),
            u"/usr/bin/runel"_s);
    }

    void scriptsTabOnTheStore()
    {
        open({ { u"beta.sh"_s, "#!/bin/bash\n# @runel.lable Beta\n# @runel.output loud\n" },
                 { u"alpha.sh"_s, "#!/bin/bash\n" }, { u"file10.sh"_s, unreadable },
                 { u"file2.sh"_s, unreadable } },
            Tab::scripts);
        QCOMPARE(scripts().shows(), ScriptHealthView::Shows::list);
        QCOMPARE(rowPaths(),
            (QStringList { u"alpha.sh"_s, u"beta.sh"_s, u"file2.sh"_s, u"file10.sh"_s }));
        const QModelIndex failed = scripts().model()->index(2);
        QCOMPARE(failed.data(Qt::ToolTipRole).toString(),
            u"Read failure - The file is not valid UTF-8 text."_s);

        // What runel check finds: the first finding under the name, every one in the tooltip.
        const QModelIndex beta = scripts().model()->index(1);
        QVERIFY2(beta.data(ScriptHealthModel::findingRole)
                     .toString()
                     .startsWith(u"Line 2: unknown annotation \"lable\""_s),
            qPrintable(beta.data(ScriptHealthModel::findingRole).toString()));
        QCOMPARE(beta.data(ScriptHealthModel::moreFindingsRole).toInt(), 1);
        QVERIFY(beta.data(Qt::ToolTipRole).toString().contains(u"\nLine 3: \"output loud\""_s));

        // The context menu acts on the row's file: it opens it, then shows it in the folder.
        const QList<QAction *> actions = scripts().rowActions(0, &window());
        QCOMPARE(actions.size(), 2);
        actions[0]->trigger();
        actions[1]->trigger();
        const QString alpha = m_stack->hud.home.file(u"scripts/alpha.sh"_s);
        QCOMPARE(m_stack->services.opened, QStringList { alpha });
        QCOMPARE(m_stack->services.revealed, QStringList { alpha });

        // A reload keeps the rows.
        QSignalSpy published(m_stack->hud.store.get(), &ScriptStore::scriptIndexChanged);
        scripts().reloadButton()->click();
        QCOMPARE(scripts().shows(), ScriptHealthView::Shows::list);
        QVERIFY(published.wait());

        // A folder that cannot be listed: its error with "Retry", which reloads.
        const QString folder = m_stack->hud.config->scriptsDir();
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(folder, "a file, not a folder");
        m_stack->hud.store->reload();
        QTRY_COMPARE(scripts().shows(), ScriptHealthView::Shows::error);
        QCOMPARE(scripts().placeholder()->message(), m_stack->hud.store->errorText());
        QCOMPARE(scripts().placeholder()->actionButton()->text(), u"Retry"_s);
        QVERIFY(QFile::remove(folder) && QDir().mkpath(folder));
        scripts().placeholder()->actionButton()->click();
        QTRY_COMPARE(scripts().shows(), ScriptHealthView::Shows::empty);
        QVERIFY(!scripts().reloadButton()->isVisible());
    }

    void logTabLiveRowsAndClear()
    {
        window().setCurrentTab(Tab::log);
        QCOMPARE(log().shows(), LogView::Shows::loading);
        QTRY_COMPARE(log().shows(), LogView::Shows::empty);

        const LogRunPtr done = logStore().startRun(u"Backup"_s);
        done->finish(RunExitStatus::failure);
        const LogRunPtr running = logStore().startRun(u"Deploy"_s);
        QCOMPARE(log().shows(), LogView::Shows::list);
        QCOMPARE(logRows(), (QStringList { u"Backup Failed"_s, u"Deploy Running"_s }));
        running->finish(RunExitStatus::success);
        QCOMPARE(logRows(), (QStringList { u"Backup Failed"_s, u"Deploy Succeeded"_s }));

        // A click opens the run's output; where nothing opens it, the tab says so.
        const QRect first = log().list()->visualRect(log().model()->index(0));
        QTest::mouseClick(log().list()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(m_stack->services.opened, QStringList { done->logPath() });
        QVERIFY(log().openProblem().isEmpty());
        m_stack->services.opens = false;
        log().rowActions(0, &window()).constFirst()->trigger();
        QVERIFY2(
            log().openProblem().startsWith(u"The log of \u201cBackup\u201d could not be opened"_s),
            qPrintable(log().openProblem()));

        // "Clear" keeps a run that is still going on.
        const LogRunPtr still = logStore().startRun(u"Watch"_s);
        log().clearButton()->click();
        QCOMPARE(logRows(), QStringList { u"Watch Running"_s });
        still->finish(RunExitStatus::cancelled);
        QCOMPARE(logRows(), QStringList { u"Watch Cancelled"_s });
    }

    // While the tab shows it follows the log folder: a run another process writes appears in
    // place (no reset), a deleted folder empties the list, a folder made again is followed.
    void logTabFollowsTheFolder()
    {
        window().setCurrentTab(Tab::log);
        QTRY_COMPARE(log().shows(), LogView::Shows::empty);
        const LogRunPtr own = logStore().startRun(u"Own"_s);
        own->finish(RunExitStatus::success);
        QSignalSpy reset(log().model(), &QAbstractItemModel::modelReset);
        writeRun(u"Other"_s, QDateTime::currentDateTimeUtc().addSecs(60));
        QTRY_COMPARE(logRows(), (QStringList { u"Own Succeeded"_s, u"Other Succeeded"_s }));
        QCOMPARE(reset.size(), 0);

        const QString folder = logStore().logDirectory();
        logStore().waitForPendingWrites();
        QVERIFY(QDir(folder).removeRecursively());
        QTRY_COMPARE(log().shows(), LogView::Shows::empty);
        QVERIFY(QDir().mkpath(folder));
        writeRun(u"Again"_s, QDateTime::currentDateTimeUtc());
        QTRY_COMPARE(logRows(), QStringList { u"Again Succeeded"_s });
    }
    // Pictures of every tab in both themes, for people to look at.
    void pictures()
    {
        config().setShortcuts({ { QUuid::createUuid(), u"gs"_s }, { QUuid::createUuid(), {} } });
        QTRY_VERIFY(!m_stack->hud.log->isLoading());
        const int scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 200 : 100;
        const QString font = qEnvironmentVariable("RUNEL_PICTURE_FONT", u"normal"_s);
        const QString folder = QStringLiteral(RUNEL_SETTINGS_PICTURES);
        QDir().mkpath(folder);
        inBothThemes([&](const QString &theme) {
            for (int tab = 0; tab < window().tabs()->count(); ++tab) {
                window().tabs()->setCurrentIndex(tab);
                QApplication::processEvents();
                QVERIFY(window().grab().save(
                    u"%1/%2-%3-%4-%5.png"_s
                        .arg(folder, window().tabs()->tabText(tab).toLower(), theme, font)
                        .arg(scale)));
            }
        });
        // Every tab's title fits: the window is as wide as the tab bar wants.
        QVERIFY(window().width() >= window().tabs()->tabBar()->sizeHint().width());
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
