#include "TestEnvironment.h"
#include "core/index/ScriptStore.h"
#include "core/settings/ConfigManager.h"
#include "core/threading/WorkerThreads.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

// Reloads of the script index: newest request wins, failures keep the last good index.
class TestScriptStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ConfigManager> m_config;

    QString scripts() const { return m_home->file(u"scripts"_s); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        writeFile(scripts() + u"/one.sh"_s);
        auto file = std::make_unique<SettingsFile>(SettingsFile::defaultPath());
        file->setValue("scriptsDir", scripts().toStdString());
        m_config = std::make_unique<ConfigManager>(std::move(file), QString());
    }
    void cleanup()
    {
        m_config.reset();
        m_home.reset();
    }

    // Under a process limit no worker thread can be had: the index is still built (here,
    // and the scan reads alone), never left loading for ever.
    void reloadWithoutAThreadStillPublishes()
    {
        // Shared with the blocked tasks: they may still be leaving acquire() when this returns.
        const auto gate = std::make_shared<QSemaphore>();
        WorkerThreads::setMaximumThreads(2);
        int busy = 0;
        while (busy < 8 && WorkerThreads::start([gate] { gate->acquire(); }))
            ++busy;
        QVERIFY(busy < 8); // the pool is full
        ScriptStore store(*m_config);
        QSignalSpy published(&store, &ScriptStore::scriptIndexChanged);
        store.reload();
        QVERIFY(published.wait());
        QCOMPARE(store.scriptIndex()->sequence.reachableItems.size(), size_t(1));
        gate->release(busy);
        WorkerThreads::setMaximumThreads(0);
    }

    void newestReloadWins()
    {
        ScriptStore store(*m_config);
        QStringList completed;
        store.reload([&] { completed.append(u"first"_s); });
        QCOMPARE(store.scriptIndex()->file.entries.size(), size_t(0)); // not before it is built
        writeFile(scripts() + u"/two.sh"_s);
        store.reload([&] { completed.append(u"second"_s); });
        QTRY_VERIFY(!store.isLoading());
        QCOMPARE(completed, QStringList { u"second"_s });
        QCOMPARE(store.scriptIndex()->file.entries.size(), size_t(2));
    }

    void failureKeepsThePreviousIndex()
    {
        ScriptStore store(*m_config);
        QSignalSpy published(&store, &ScriptStore::scriptIndexChanged);
        store.reload();
        QVERIFY(published.wait());
        const auto good = store.scriptIndex();

        QVERIFY(QDir(scripts()).removeRecursively());
        bool completed = false;
        store.reload([&] { completed = true; });
        QTRY_VERIFY(!store.isLoading());
        QVERIFY(store.error().value_or(QString()).contains(u"No such file or directory"_s));
        QCOMPARE(store.scriptIndex(), good);
        QVERIFY(!completed);
    }

    void storeGoneBeforeTheBuildEnds()
    {
        bool completed = false;
        {
            ScriptStore store(*m_config);
            store.reload([&] { completed = true; });
        }
        // A later build of the same folder ends after it: by then the first result has come
        // back and found no store.
        ScriptStore later(*m_config);
        QSignalSpy published(&later, &ScriptStore::scriptIndexChanged);
        later.reload();
        QVERIFY(published.wait());
        QCoreApplication::processEvents();
        QVERIFY(!completed);
    }
};

QTEST_GUILESS_MAIN(TestScriptStore)
#include "tst_index_store.moc"
