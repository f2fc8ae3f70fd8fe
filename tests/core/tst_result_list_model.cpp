#include "TestEnvironment.h"
#include "core/hud/ResultListModel.h"
#include "core/hud/TitleLine.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;
using Role = ResultListModel::Role;

// What the HUD shows, worked out without a display: the title line and the
// rows of the results list over a real view model.
class TestResultListModel : public QObject {
    Q_OBJECT

private:
    static QStringList titles(const ResultListModel &model)
    {
        QStringList titles;
        for (int row = 0; row < model.rowCount(); ++row)
            titles.append(model.index(row).data(Role::TitleRole).toString());
        return titles;
    }
    // A row's every role in order: title, icon, title highlight start and length, subtitle,
    // its highlight start and length, stem length, key hint, folder, selected.
    static QString describe(const QModelIndex &row)
    {
        QStringList parts { row.data().toString() };
        for (int role = Role::IconRole; role <= Role::SelectedRole; ++role)
            parts << row.data(role).toString();
        return parts.join(u'|');
    }

private Q_SLOTS:
    void titleLine_data()
    {
        QTest::addColumn<QStringList>("outputs"); // latestOutput in turn; "-" for none
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<QString>("title");
        const QString none = u"-"_s;
        QTest::newRow("output wins")
            << QStringList { u"step 2"_s } << u"Scripts reloaded"_s << u"step 2"_s;
        QTest::newRow("json list keeps the line before")
            << QStringList { u"loading"_s, u"[{\"title\": \"x\"}]"_s } << QString() << u"loading"_s;
        QTest::newRow("bracket text shown")
            << QStringList { u"[ok] done"_s } << QString() << u"[ok] done"_s;
        QTest::newRow("cleared output forgets the line")
            << QStringList { u"a"_s, none, u"[\"x\"]"_s } << QString() << u"Runel"_s;
    }
    void titleLine()
    {
        QFETCH(QStringList, outputs);
        QFETCH(QString, refresh);
        TitleLine line;
        QString shown;
        for (const QString &output : outputs) {
            const std::optional<QString> latest
                = output == u"-"_s ? std::nullopt : std::optional(output);
            shown = line.text(
                latest, refresh.isEmpty() ? std::nullopt : std::optional(refresh), u"Runel"_s);
        }
        QTEST(shown, "title");
    }

    // The rows follow the view model in key and list mode (how they change is below; what a
    // search row shows is checked with the rows themselves).
    void rowsFollowTheViewModel()
    {
        HudStack stack({ { u"git/deploy.sh"_s, "echo hi\n" }, { u"git/status.sh"_s, "echo hi\n" },
            { u"notes/todo list.sh"_s, "echo hi\n" },
            { u"menu.sh"_s,
                "echo '[{\"title\": \"First\", \"script\": \"git/deploy.sh\"},"
                " {\"title\": \"Second\", \"subtitle\": \"two\", \"script\": \"x.sh\"}]'\n" } });
        QVERIFY(stack.loaded);
        stack.config->setScriptDelay(30);
        SearchViewModel &viewModel = *stack.viewModel;
        ResultListModel model(viewModel);
        QAbstractItemModelTester tester(&model);

        viewModel.handleCharacter(u"g"_s);
        QCOMPARE(model.mode(), ResultListModel::Mode::sequence);
        QCOMPARE(titles(model), (QStringList { u"Deploy"_s, u"Status"_s }));
        QCOMPARE(describe(model.index(0)), u"Deploy|doc.fill|0|0|deploy.sh|0|0|6|d|false|true"_s);

        viewModel.setResultsPanelVisible(true);
        viewModel.moveSelectionDown();
        QCOMPARE(model.selectedRow(), 1);
        QCOMPARE(describe(model.index(1)), u"Status|doc.fill|0|0|status.sh|0|0|6|s|false|true"_s);

        stack.config->setScriptDelay(0.01);
        viewModel.runSequence(u"m"_s);
        QTRY_COMPARE(model.mode(), ResultListModel::Mode::list);
        QCOMPARE(titles(model), (QStringList { u"First"_s, u"Second"_s }));
        QCOMPARE(describe(model.index(0)), u"First|doc.text|0|0||0|0|0||false|true"_s);
        viewModel.listFilterChanged(u"sec"_s);
        QCOMPARE(titles(model), QStringList { u"Second"_s });
        QCOMPARE(describe(model.index(0)), u"Second|doc.text|0|3|two|0|0|0||false|true"_s);
    }

    // Within a mode the rows change by the smallest model signals, so a view keeps what did
    // not change; only another mode (or another list) resets the model.
    void rowChangesAreSmall_data()
    {
        QTest::addColumn<QString>("steps"); // "type K", "tab", "down", "panel"
        QTest::addColumn<QString>("signals"); // of the last step
        QTest::newRow("a key narrows the rows") << u"type g, type d"_s << u"remove 2-2, data 0-1"_s;
        QTest::newRow("a moved selection touches two rows")
            << u"type g, panel, down"_s << u"data 0-0, data 1-1"_s;
        QTest::newRow("search mode resets") << u"type g, tab"_s << u"reset"_s;
    }
    void rowChangesAreSmall()
    {
        QFETCH(QString, steps);
        HudStack stack({ { u"git/deploy.sh"_s, "echo hi\n" }, { u"git/diff.sh"_s, "echo hi\n" },
            { u"git/status.sh"_s, "echo hi\n" } });
        QVERIFY(stack.loaded);
        stack.config->setScriptDelay(30);
        SearchViewModel &viewModel = *stack.viewModel;
        ResultListModel model(viewModel);
        QAbstractItemModelTester tester(&model);
        QStringList seen;
        const auto range = [&seen](const char *name) {
            return [&seen, name](const QModelIndex &, int first, int last) {
                seen << u"%1 %2-%3"_s.arg(QLatin1String(name)).arg(first).arg(last);
            };
        };
        connect(&model, &QAbstractItemModel::rowsInserted, this, range("insert"));
        connect(&model, &QAbstractItemModel::rowsRemoved, this, range("remove"));
        connect(&model, &QAbstractItemModel::modelReset, this, [&seen] { seen << u"reset"_s; });
        connect(&model, &QAbstractItemModel::dataChanged, this,
            [&seen](const QModelIndex &first, const QModelIndex &last) {
                seen << u"data %1-%2"_s.arg(first.row()).arg(last.row());
            });
        for (const QString &step : steps.split(u", "_s)) {
            seen.clear();
            const QString text = step.section(u' ', 1);
            if (step.startsWith(u"type"))
                viewModel.handleCharacter(text);
            else if (step == u"tab")
                viewModel.toggleSearchMode();
            else if (step == u"down")
                viewModel.moveSelectionDown();
            else if (step == u"panel")
                viewModel.setResultsPanelVisible(true);
        }
        QTEST(seen.join(u", "_s), "signals");
        // What the rows show is what a model made afresh shows.
        ResultListModel fresh(viewModel);
        QCOMPARE(model.rowCount(), fresh.rowCount());
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(describe(model.index(row)), describe(fresh.index(row)));
    }
};

QTEST_GUILESS_MAIN(TestResultListModel)
#include "tst_result_list_model.moc"
