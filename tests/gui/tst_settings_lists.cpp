#include "TestEnvironment.h"
#include "gui/settings/LogRunModel.h"
#include "gui/settings/LogView.h"
#include "gui/settings/ScriptHealthModel.h"
#include "gui/settings/ScriptHealthView.h"
#include "gui/settings/SettingsForm.h"

#include <QAction>
#include <QListView>
#include <QPushButton>
#include <QtTest>

using namespace runel;
using namespace runel::gui;
using namespace Qt::StringLiterals;
using Tab = SettingsWindow::SettingsTab;

namespace {

// Not valid UTF-8: a read failure, so the file has no keys.
const QByteArray unreadable = "\xff\xfe";

} // namespace

// The Scripts and Log tabs on real script and log stores.
class TestSettingsLists : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsStack> m_stack;

    SettingsWindow &window() { return *m_stack->window; }
    ScriptHealthView &scripts() { return *window().scripts(); }
    LogView &log() { return *window().log(); }
    LogStore &logStore() { return *m_stack->hud.log; }

    void open(const QList<std::pair<QString, QByteArray>> &files, Tab tab)
    {
        // A hidden file is no script, but makes the scripts folder exist.
        m_stack = std::make_unique<SettingsStack>(
            files.isEmpty() ? QList<std::pair<QString, QByteArray>> { { u".keep"_s, {} } } : files);
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

private Q_SLOTS:
    void cleanup() { m_stack.reset(); }

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
        const QModelIndex clean = scripts().model()->index(0), beta = scripts().model()->index(1);
        QCOMPARE(clean.data(ScriptHealthModel::findingRole).toString(), QString());
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
        open({}, Tab::general);
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
        logStore().waitForPendingWrites();

        // Hidden, the list is let go; shown again, it is read from disk, without runs whose
        // output is gone.
        const LogRunPtr gone = logStore().startRun(u"Gone"_s);
        gone->finish(RunExitStatus::success);
        logStore().waitForPendingWrites();
        window().setCurrentTab(Tab::about);
        QVERIFY(QFile::remove(gone->logPath()));
        window().setCurrentTab(Tab::log);
        QTRY_COMPARE(logRows(), QStringList { u"Watch Cancelled"_s });
    }

    // While the tab shows it follows the log folder: a run another process writes appears in
    // place (no reset), a deleted folder empties the list, a folder made again is followed.
    void logTabFollowsTheFolder()
    {
        open({}, Tab::log);
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
};

QTEST_MAIN(TestSettingsLists)
#include "tst_settings_lists.moc"
