#include "TestEnvironment.h"
#include "hud/ModifierText.h"
#include "hud/ResultListModel.h"
#include "hud/TitleLine.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace runel;
using Role = ResultListModel::Role;

// What the HUD shows, worked out without a display: the modifier text, the title line and the
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

private Q_SLOTS:
    void modifierText_data()
    {
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << Qt::KeyboardModifiers() << QString();
        QTest::newRow("all three in order")
            << (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)
            << QStringLiteral("alt,ctrl,shift");
        QTest::newRow("alt and shift")
            << (Qt::ShiftModifier | Qt::AltModifier) << QStringLiteral("alt,shift");
        QTest::newRow("super is not named") << Qt::KeyboardModifiers(Qt::MetaModifier) << QString();
        QTest::newRow("keypad is not named")
            << (Qt::KeypadModifier | Qt::ControlModifier) << QStringLiteral("ctrl");
    }
    void modifierText()
    {
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QTEST(runel::modifierText(modifiers), "text");
    }

    void titleLine_data()
    {
        QTest::addColumn<QStringList>("outputs"); // latestOutput in turn; "-" for none
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<QString>("title");
        const QString none = QStringLiteral("-");
        QTest::newRow("hud title") << QStringList { none } << QString() << QStringLiteral("Runel");
        QTest::newRow("refresh message")
            << QStringList { none } << QStringLiteral("Scripts reloaded")
            << QStringLiteral("Scripts reloaded");
        QTest::newRow("output wins")
            << QStringList { QStringLiteral("step 2") } << QStringLiteral("Scripts reloaded")
            << QStringLiteral("step 2");
        QTest::newRow("json object hidden")
            << QStringList { QStringLiteral("{\"a\": 1}") } << QString() << QStringLiteral("Runel");
        QTest::newRow("json list keeps the line before")
            << QStringList { QStringLiteral("loading"), QStringLiteral("[{\"title\": \"x\"}]") }
            << QString() << QStringLiteral("loading");
        QTest::newRow("quoted string hidden")
            << QStringList { QStringLiteral("\"x\"") } << QString() << QStringLiteral("Runel");
        QTest::newRow("bracket text shown") << QStringList { QStringLiteral("[ok] done") }
                                            << QString() << QStringLiteral("[ok] done");
        QTest::newRow("ordinary line replaces at once")
            << QStringList { QStringLiteral("a"), QStringLiteral("{"), QStringLiteral("b") }
            << QString() << QStringLiteral("b");
        QTest::newRow("cleared output forgets the line") << QStringList { QStringLiteral("a"), none,
            QStringLiteral("[\"x\"]") } << QString() << QStringLiteral("Runel");
    }
    void titleLine()
    {
        QFETCH(QStringList, outputs);
        QFETCH(QString, refresh);
        TitleLine line;
        QString shown;
        for (const QString &output : outputs) {
            const std::optional<QString> latest
                = output == QStringLiteral("-") ? std::nullopt : std::optional(output);
            shown = line.text(latest, refresh.isEmpty() ? std::nullopt : std::optional(refresh),
                QStringLiteral("Runel"));
        }
        QTEST(shown, "title");
    }

    // The rows follow the view model through every mode, reset only when the rows change,
    // and a moved selection touches just the rows involved.
    void rowsFollowTheViewModel()
    {
        HudStack stack({ { QStringLiteral("git/deploy.sh"), "echo hi\n" },
            { QStringLiteral("git/status.sh"), "echo hi\n" },
            { QStringLiteral("notes/todo list.sh"), "echo hi\n" },
            { QStringLiteral("menu.sh"),
                "echo '[{\"title\": \"First\", \"script\": \"git/deploy.sh\"},"
                " {\"title\": \"Second\", \"subtitle\": \"two\", \"script\": \"x.sh\"}]'\n" } });
        QVERIFY(stack.loaded);
        stack.config->setScriptDelay(30);
        SearchViewModel &viewModel = *stack.viewModel;
        ResultListModel model(viewModel);
        QAbstractItemModelTester tester(&model);
        connect(&viewModel, &SearchViewModel::changed, &model, &ResultListModel::refresh);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy updates(&model, &QAbstractItemModel::dataChanged);

        viewModel.handleCharacter(QStringLiteral("g"));
        QCOMPARE(model.mode(), ResultListModel::Mode::sequence);
        QCOMPARE(
            titles(model), (QStringList { QStringLiteral("Deploy"), QStringLiteral("Status") }));
        QCOMPARE(model.index(0).data(Role::KeyHintRole).toString(), QStringLiteral("d"));
        QCOMPARE(model.index(0).data(Role::SubtitleRole).toString(), QStringLiteral("deploy.sh"));
        QCOMPARE(model.index(0).data(Role::SubtitleStemLengthRole).toInt(), 6);
        QCOMPARE(model.index(0).data(Role::SelectedRole).toBool(), true);
        const qsizetype resetsAfterTyping = resets.size();

        viewModel.setResultsPanelVisible(true);
        updates.clear();
        viewModel.moveSelectionDown();
        QCOMPARE(resets.size(), resetsAfterTyping); // same rows
        QCOMPARE(model.selectedRow(), 1);
        QCOMPARE(updates.size(), 2); // the row left and the row selected
        QCOMPARE(model.index(1).data(Role::SelectedRole).toBool(), true);

        viewModel.toggleSearchMode(); // search with "g"
        QCOMPARE(model.mode(), ResultListModel::Mode::search);
        viewModel.searchTextChanged(QStringLiteral("list"));
        QCOMPARE(titles(model), QStringList { QStringLiteral("Todo List") });
        const QModelIndex found = model.index(0);
        QCOMPARE(found.data(Role::SubtitleRole).toString(), QStringLiteral("notes/todo list.sh"));
        QCOMPARE(found.data(Role::TitleHighlightStartRole).toInt(), 5);
        QCOMPARE(found.data(Role::TitleHighlightLengthRole).toInt(), 4);
        QVERIFY(found.data(Role::KeyHintRole).toString().isNull());

        viewModel.exitSearchMode();
        stack.config->setScriptDelay(0.01);
        viewModel.handleCharacter(QStringLiteral("m"));
        QTRY_COMPARE(model.mode(), ResultListModel::Mode::list);
        QCOMPARE(
            titles(model), (QStringList { QStringLiteral("First"), QStringLiteral("Second") }));
        QCOMPARE(model.index(0).data(Role::IconRole).toString(), QStringLiteral("doc.text"));
        viewModel.listFilterChanged(QStringLiteral("sec"));
        QCOMPARE(titles(model), QStringList { QStringLiteral("Second") });
        QCOMPARE(model.index(0).data(Role::SubtitleRole).toString(), QStringLiteral("two"));
        QCOMPARE(model.index(0).data(Role::TitleHighlightLengthRole).toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(TestResultListModel)
#include "tst_result_list_model.moc"
