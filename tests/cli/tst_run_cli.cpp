#include "RunelProcess.h"
#include "TestEnvironment.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace runel::test;

// `runel run`: keys to one script, its output and status passed through, and the run logged.
class TestRunCli : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;

    QString scripts() const { return m_home->file(u"scripts"_s); }
    QString script(const QString &relative, const QByteArray &text)
    {
        return writeFile(scripts() + u'/' + relative, text);
    }
    Run run(QStringList arguments, const QByteArray &input = {})
    {
        return runRunel(
            QStringList { u"run"_s } + arguments + QStringList { u"--dir"_s, scripts() }, {},
            input);
    }

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void passesOutputAndStatusThrough()
    {
        script(u"tools/exit.sh"_s, "echo out; echo err >&2; echo \"[$1] [$2]\"; exit 3\n");
        const Run result = run({ u"te"_s, u"--modifiers"_s, u"shift,alt"_s });
        QCOMPARE(result.exitCode, 3);
        QCOMPARE(result.out, QByteArray("out\n[alt,shift] []\n"));
        QCOMPARE(result.err, QByteArray("err\n"));
    }

    void killedScriptsExitAs128PlusTheSignal()
    {
        script(u"kill.sh"_s, "kill -9 $$\n");
        QCOMPARE(run({ u"k"_s }).exitCode, 128 + 9);
    }

    void argumentsComeFromTheOptionOrAreRequired()
    {
        script(u"ask.sh"_s,
            "# @runel.argument {\"placeholder\": \"Name\", \"value\": \"x\"}\necho \"hi $2\"\n");
        const Run given = run({ u"a"_s, u"--arg"_s, u"there"_s });
        QCOMPARE(given.exitCode, 0);
        QCOMPARE(given.out, QByteArray("hi there\n"));
        // No terminal to ask on: say how to give it.
        const Run missing = run({ u"a"_s });
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains("--arg TEXT"), missing.err);
        QVERIFY(missing.err.contains("(Name)"));
    }

    void keysMustNameOneScript()
    {
        script(u"git/deploy.sh"_s, "echo deploy\n");
        script(u"git/status.sh"_s, "echo status\n");
        const Run several = run({ u"g"_s });
        QCOMPARE(several.exitCode, 1);
        QVERIFY(several.err.contains("git/deploy.sh"));
        QVERIFY(several.err.contains("git/status.sh"));
        const Run none = run({ u"z"_s });
        QCOMPARE(none.exitCode, 1);
        QVERIFY2(none.err.contains("runel list"), none.err);
        // A key that names nothing ends the play: nothing runs, and the key is named.
        const Run unknown = run({ u"gxs"_s });
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY(unknown.out.isEmpty());
        QVERIFY2(unknown.err.contains("'x' names nothing after \"g\""), unknown.err);
    }

    void badModifiersAreAUsageError()
    {
        script(u"a.sh"_s, "echo a\n");
        const Run bad = run({ u"a"_s, u"--modifiers"_s, u"cmd"_s });
        QCOMPARE(bad.exitCode, 2);
        QVERIFY(bad.err.contains("alt, ctrl and shift"));
    }

    void printedListsAreNumbered()
    {
        script(u"menu.sh"_s,
            "echo '[{\"title\": \"One\", \"script\": \"a.sh\"}, {\"title\": \"Two\", "
            "\"subtitle\": \"second\", \"script\": \"b.sh\"}]'\n");
        const Run listed = run({ u"m"_s });
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(listed.out.contains("1. One  (a.sh)\n"), listed.out);
        QVERIFY(listed.out.contains("2. Two — second  (b.sh)\n"));
    }

    void runsAreLogged()
    {
        script(u"fail.sh"_s, "echo logged; exit 1\n");
        QCOMPARE(run({ u"f"_s }).exitCode, 1);
        const Run log = runRunel({ u"log"_s, u"--json"_s });
        const nlohmann::json runs = parsedJson(log.out);
        QVERIFY2(runs.is_array() && runs.size() == 1, log.out);
        QCOMPARE(runs[0]["scriptName"].get<std::string>(), "Fail");
        QCOMPARE(runs[0]["status"].get<std::string>(), "failure");
        QFile output(QString::fromStdString(runs[0]["logFile"].get<std::string>()));
        QVERIFY(output.open(QIODevice::ReadOnly));
        QCOMPARE(output.readAll(), QByteArray("logged\n"));
    }
};

QTEST_GUILESS_MAIN(TestRunCli)
#include "tst_run_cli.moc"
