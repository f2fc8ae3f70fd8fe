#include "TestEnvironment.h"
#include "core/index/ScriptsFolderWatcher.h"

#include <QSignalSpy>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

// The scripts folder watched as the scan walks it: every change that can change the index is
// heard, once per burst.
class TestScriptsFolderWatcher : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    QString root() const { return m_home->file(u"scripts"_s); }
    QString path(const QString &relative) const { return root() + u'/' + relative; }

    static ScriptsFolderWatcher::Configuration quick(int maxWatches = 0)
    {
        return { 2, maxWatches, 50 };
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        writeFile(path(u"one.sh"_s));
        writeFile(path(u"sub/two.sh"_s));
        writeFile(path(u"sub/deeper/three.sh"_s));
        QVERIFY(QDir().mkpath(path(u"sub/deeper/too deep"_s)));
        QVERIFY(QDir().mkpath(path(u".git/objects"_s)));
        QVERIFY(QDir().mkpath(m_home->file(u"outside/linked"_s)));
        QVERIFY(QDir().mkpath(m_home->file(u"elsewhere"_s)));
        QVERIFY(QFile::link(m_home->file(u"outside"_s), path(u"tools"_s)));
    }
    void cleanup() { m_home.reset(); }

    // Steps separated by ", ": write P, rename P Q, mkdir P, link P TARGET (TARGET
    // below the home), each then waiting for one signal; watched P waits until P is watched.
    void changesAreHeard_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("script in a linked folder") << u"write tools/linked/x.sh"_s;
        QTest::newRow("new sub-folders at once, then a script in the deepest")
            << u"mkdir a/b, watched a/b, write a/b/x.sh"_s;
        QTest::newRow("folder renamed, then a sub-folder in it")
            << u"rename sub moved, mkdir moved/n, watched moved/n, write moved/n/x.sh"_s;
        QTest::newRow("new linked folder")
            << u"link more elsewhere, watched more, write more/y.sh"_s;
    }
    void changesAreHeard()
    {
        QFETCH(QString, steps);
        ScriptsFolderWatcher watcher(quick());
        QSignalSpy changed(&watcher, &ScriptsFolderWatcher::changed);
        watcher.watch(root());
        QTRY_COMPARE(watcher.watchedFolders(),
            QStringList({ root(), path(u"sub"_s), path(u"sub/deeper"_s), path(u"tools"_s),
                path(u"tools/linked"_s) }));
        for (const QString &step : steps.split(u", "_s)) {
            const QStringList words = step.split(u' ');
            const QString verb = words[0];
            if (verb == u"watched") {
                QTRY_VERIFY(watcher.watchedFolders().contains(path(words[1])));
                continue;
            }
            if (verb == u"write")
                QVERIFY(!writeFile(path(words[1]), "echo\n").isEmpty());
            else if (verb == u"rename")
                QVERIFY(QDir().rename(path(words[1]), path(words[2])));
            else if (verb == u"mkdir")
                QVERIFY(QDir().mkpath(path(words[1])));
            else if (verb == u"link")
                QVERIFY(QFile::link(m_home->file(words[2]), path(words[1])));
            else
                QFAIL(qPrintable(u"unknown step: "_s + step));
            QVERIFY2(changed.wait(5000), qPrintable(step));
            changed.clear();
        }
        QVERIFY(watcher.isWatching());
    }

    // Many changes read at different times, then quiet: one signal. Hidden entries (an editor's
    // swap file) change nothing that the scan lists.
    void burstGivesOneChange()
    {
        ScriptsFolderWatcher watcher(quick());
        QSignalSpy changed(&watcher, &ScriptsFolderWatcher::changed);
        watcher.watch(root());
        QTRY_VERIFY(watcher.watchedFolders().contains(path(u"sub/deeper"_s)));
        for (int i = 0; i < 20; ++i) {
            writeFile(path(u"sub/burst%1.sh"_s.arg(i)));
            QCoreApplication::processEvents();
        }
        QVERIFY(changed.wait(5000));
        QVERIFY(!changed.wait(200));
        QCOMPARE(changed.count(), 1);

        // Nor does the scan that the signal starts: reading the tree must not feed back.
        writeFile(path(u".one.sh.swp"_s));
        writeFile(path(u".git/objects/x.sh"_s));
        QVERIFY(FileIndex::scan(root(), {}));
        QVERIFY(!changed.wait(200));
    }

    // Past the watch limit the watcher stops and says so once; the same folder is not walked
    // again. A missing folder is watched once it exists.
    void fallsBackWhenItCannotWatch()
    {
        ScriptsFolderWatcher watcher(quick(2));
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(u"scripts folder .* is not watched: .* more folders"_s));
        watcher.watch(root());
        QTRY_VERIFY(!watcher.isWatching());
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        watcher.watch(root());
        QVERIFY(!watcher.isWatching());

        const QString missing = m_home->file(u"later"_s);
        watcher.watch(missing);
        QTRY_VERIFY(!watcher.isWatching());
        writeFile(missing + u"/x.sh"_s);
        watcher.watch(missing);
        QVERIFY(watcher.isWatching());
        QSignalSpy changed(&watcher, &ScriptsFolderWatcher::changed);
        QTRY_COMPARE(watcher.watchedFolders(), QStringList { missing });
        QVERIFY(QFile::remove(missing + u"/x.sh"_s));
        QVERIFY(changed.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestScriptsFolderWatcher)
#include "tst_index_watcher.moc"
