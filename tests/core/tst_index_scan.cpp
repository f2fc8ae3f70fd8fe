#include "TestEnvironment.h"
#include "XdgDirs.h"
#include "index/FileIndex.h"
#include "settings/ScriptsFolder.h"

#include <QtTest>
#include <pwd.h>
#include <unistd.h>

using namespace runel;

// The walk of the scripts folder: order, limits, links and files that cannot be read; and what
// counts as a script when an empty folder is seeded.
class TestScan : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString root() const { return m_dir.path() + QStringLiteral("/scripts"); }
    QString make(const QString &relative, const QByteArray &text = "echo\n")
    {
        return writeFile(root() + u'/' + relative, text);
    }
    static QStringList paths(const FileIndex &index)
    {
        QStringList result;
        for (const FileItem &item : index.entries)
            result.append(item.relativePath);
        return result;
    }
    // Files given as "path", or "path->target" for a symbolic link to target (as written).
    void makeAll(const QStringList &files)
    {
        QDir().mkpath(root());
        for (const QString &file : files) {
            const QStringList link = file.split(QStringLiteral("->"));
            if (link.size() == 1) {
                make(file);
                continue;
            }
            const QString path = root() + u'/' + link[0];
            QDir().mkpath(QFileInfo(path).path());
            QVERIFY(::symlink(link[1].toUtf8().constData(), path.toUtf8().constData()) == 0);
        }
    }
    FileIndex scan(FileIndex::Configuration configuration = {})
    {
        FileIndex::ScanResult result = FileIndex::scan(root(), configuration);
        if (!result.index)
            qWarning() << result.error;
        return result.index.value_or(FileIndex());
    }

private Q_SLOTS:
    void init()
    {
        QDir(root()).removeRecursively();
        QVERIFY(!QFileInfo::exists(root()));
    }

    void orderIsDepthFirstAndCaseInsensitive()
    {
        make(QStringLiteral("B.sh"));
        make(QStringLiteral("a.sh"));
        make(QStringLiteral("c/z.sh"));
        make(QStringLiteral("c/d/y.sh"));
        make(QStringLiteral("c/e.sh"));
        make(QStringLiteral("deploy.sh"));
        make(QStringLiteral("Deploy.sh"));
        make(QStringLiteral("\u00E9t\u00E9.sh")); // sorts after every ASCII name
        QCOMPARE(paths(scan()),
            (QStringList { QStringLiteral("a.sh"), QStringLiteral("B.sh"),
                QStringLiteral("c/d/y.sh"), QStringLiteral("c/e.sh"), QStringLiteral("c/z.sh"),
                QStringLiteral("Deploy.sh"), QStringLiteral("deploy.sh"),
                QStringLiteral("\u00E9t\u00E9.sh") }));
    }

    void onlyVisibleScriptsAreTaken()
    {
        make(QStringLiteral("notes.txt"));
        make(QStringLiteral(".hidden.sh"));
        make(QStringLiteral(".git/hook.sh"));
        make(QStringLiteral("RUN.SH"));
        make(QStringLiteral("x.AppleScript"), "-- @runel.label Apple\n");
        make(QStringLiteral("sh"));
        const FileIndex index = scan();
        QCOMPARE(paths(index),
            (QStringList { QStringLiteral("RUN.SH"), QStringLiteral("x.AppleScript") }));
        QCOMPARE(index.entries[0].scriptType, ScriptType::shell);
        QCOMPARE(index.entries[1].scriptType, ScriptType::appleScript);
        QCOMPARE(index.entries[1].metadata.label, QStringLiteral("Apple"));
        QCOMPARE(index.entries[1].nameWithoutExtension(), QStringLiteral("x"));
    }

    void limitsFilesPerFolderAndDepth()
    {
        for (int i = 0; i < 70; ++i)
            make(QStringLiteral("many/%1.sh").arg(i, 2, 10, QLatin1Char('0')));
        make(QStringLiteral("many/sub/kept.sh")); // folders never count against the limit
        make(QStringLiteral("1/2/3/4/5/6/six.sh"));
        make(QStringLiteral("1/2/3/4/5/6/7/seven.sh"));
        const QStringList found = paths(scan());
        QVERIFY(found.contains(QStringLiteral("many/63.sh")));
        QVERIFY(!found.contains(QStringLiteral("many/64.sh")));
        QVERIFY(found.contains(QStringLiteral("many/sub/kept.sh")));
        QVERIFY(found.contains(QStringLiteral("1/2/3/4/5/6/six.sh")));
        QVERIFY(!found.contains(QStringLiteral("1/2/3/4/5/6/7/seven.sh")));
        QCOMPARE(found.size(), 64 + 2);
    }

    void unreadableFilesAreItemsWithTheirError()
    {
        make(QStringLiteral("bad.sh"), QByteArray("# @runel.label Bad\n\xff\xfe oops\n"));
        make(QStringLiteral("overlong.sh"), QByteArray("\xc0\xaf"));
        make(QStringLiteral("surrogate.sh"), QByteArray("\xed\xa0\x80"));
        make(QStringLiteral("good.sh"),
            QByteArray("# @runel.label G\u00FCt\n").replace("\\u00FC", "\xc3\xbc"));
        const QString locked = make(QStringLiteral("locked.sh"));
        QFile::setPermissions(locked, {});
        const FileIndex index = scan();
        QCOMPARE(index.entries.size(), size_t(5));
        for (const FileItem &item : index.entries) {
            if (item.relativePath == u"good.sh") {
                QVERIFY(item.status.isValid());
                QVERIFY(!item.readError);
                continue;
            }
            if (item.relativePath == u"locked.sh" && geteuid() == 0)
                continue; // root reads anything; the command-line tests cover this as another user
            QVERIFY2(
                item.status.is(IndexInvalidReason::readFailure), qPrintable(item.relativePath));
            QVERIFY(item.readError && !item.readError->isEmpty());
            QCOMPARE(item.metadata, ShellFileMetadata());
        }
        if (geteuid() != 0)
            QCOMPARE(index.entries[1].readError, QStringLiteral("Permission denied"));
    }

    void namesThatAreNotUtf8()
    {
        const QByteArray folder = QFile::encodeName(root());
        QDir().mkpath(root());
        const QByteArray odd = folder + "/caf\xe9.sh";
        FILE *raw = fopen(odd.constData(), "w");
        QVERIFY(raw);
        fputs("echo\n", raw);
        fclose(raw);
        make(QStringLiteral("with space.sh"));
        make(QStringLiteral("new\nline.sh"));
        const FileIndex index = scan();
        QCOMPARE(index.entries.size(), size_t(3));
        const FileItem &bad = index.entries[0];
        QCOMPARE(bad.relativePath, QStringLiteral("caf\uFFFD.sh"));
        QVERIFY(bad.status.is(IndexInvalidReason::readFailure));
        QVERIFY(bad.readError->contains(QStringLiteral("UTF-8")));
        QCOMPARE(index.entries[1].relativePath, QStringLiteral("new\nline.sh"));
        QVERIFY(index.entries[1].status.isValid());
        QVERIFY(index.entries[2].status.isValid());
        ::unlink(odd.constData()); // Qt cannot remove what it cannot name
    }

    void linksAreFollowedAndLoopsEnd()
    {
        make(QStringLiteral("real/a.sh"));
        const QString dotfiles = m_dir.path() + QStringLiteral("/dotfiles");
        writeFile(dotfiles + QStringLiteral("/tool.sh"), "# @runel.label Tool\n");
        QDir().mkpath(dotfiles + QStringLiteral("/dir"));
        writeFile(dotfiles + QStringLiteral("/dir/inner.sh"));
        QVERIFY(QFile::link(
            dotfiles + QStringLiteral("/tool.sh"), root() + QStringLiteral("/tool.sh")));
        QVERIFY(QFile::link(dotfiles + QStringLiteral("/dir"), root() + QStringLiteral("/linked")));
        QVERIFY(QFile::link(root(), root() + QStringLiteral("/real/loop")));
        const FileIndex index = scan();
        QCOMPARE(paths(index),
            (QStringList { QStringLiteral("linked/inner.sh"), QStringLiteral("real/a.sh"),
                QStringLiteral("tool.sh") }));
        QCOMPARE(index.entries[2].metadata.label, QStringLiteral("Tool"));
        QCOMPARE(index.entries[2].standardizedPath(), root() + QStringLiteral("/tool.sh"));

        // The scripts folder itself may be a link.
        const QString linkedRoot = m_dir.path() + QStringLiteral("/linked-root");
        QVERIFY(QFile::link(root(), linkedRoot));
        const auto viaLink = FileIndex::scan(linkedRoot, {});
        QVERIFY(viaLink.index);
        QCOMPARE(viaLink.index->entries.size(), size_t(3));
        QCOMPARE(viaLink.index->entries[0].path, linkedRoot + QStringLiteral("/linked/inner.sh"));
    }

    // A link that leads nowhere is neither file nor folder: skipped, wherever the listing puts
    // it (alone in its folder, it is the last entry listed).
    void linksThatLeadNowhereAreSkipped_data()
    {
        QTest::addColumn<QStringList>("links");
        QTest::newRow("broken link") << QStringList { QStringLiteral("only/gone.sh->nowhere") };
        QTest::newRow("link to itself") << QStringList { QStringLiteral("only/self.sh->self.sh") };
        QTest::newRow("two links to each other")
            << QStringList { QStringLiteral("only/a->b"), QStringLiteral("only/b->a") };
        QTest::newRow("link to a folder being walked")
            << QStringList { QStringLiteral("only/up->..") };
    }
    void linksThatLeadNowhereAreSkipped()
    {
        QFETCH(QStringList, links);
        makeAll(links + QStringList { QStringLiteral("real.sh") });
        const FileIndex::ScanResult result = FileIndex::scan(root(), {});
        QVERIFY2(result.index, qPrintable(result.error));
        QCOMPARE(paths(*result.index), QStringList { QStringLiteral("real.sh") });
    }

    // Seeding and the scan agree on what a script is: a folder gets the examples exactly when
    // the scan would list nothing in it.
    void seedingAgreesWithTheScan_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::newRow("empty") << QStringList();
        QTest::newRow("upper-case extension") << QStringList { QStringLiteral("RUN.SH") };
        QTest::newRow("mixed-case AppleScript") << QStringList { QStringLiteral("x.AppleScript") };
        QTest::newRow("hidden script") << QStringList { QStringLiteral(".x.sh") };
        QTest::newRow("script in a hidden folder")
            << QStringList { QStringLiteral(".git/hook.sh") };
        QTest::newRow("other files") << QStringList { QStringLiteral("notes.txt"),
            QStringLiteral("x.sh.bak"), QStringLiteral("sh") };
        QTest::newRow("script deep below") << QStringList { QStringLiteral("a/b/c/d/e/x.sh") };
        QTest::newRow("broken link named as a script")
            << QStringList { QStringLiteral("gone.sh->nowhere") };
        QTest::newRow("linked script")
            << QStringList { QStringLiteral("tool.sh->../outside/t.sh") };
        QTest::newRow("linked folder") << QStringList { QStringLiteral("tools->../outside") };
    }
    void seedingAgreesWithTheScan()
    {
        QFETCH(QStringList, files);
        writeFile(m_dir.path() + QStringLiteral("/outside/t.sh"));
        const QString examples = m_dir.path() + QStringLiteral("/examples");
        writeFile(examples + QStringLiteral("/hello.sh"));
        makeAll(files);
        const bool listed = !scan().entries.empty();
        QCOMPARE(ScriptsFolder::holdsScript(root()), listed);
        ScriptsFolder::seedExamples(root(), examples);
        QCOMPARE(QFileInfo::exists(root() + QStringLiteral("/hello.sh")), !listed);
    }

    // The user's folders come from the environment, or from the user database when HOME is
    // empty or unset: never from a made-up "/".
    void userFolders_data()
    {
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("expectedHome"); // "DB" for the user database's home
        QTest::addColumn<QString>("expectedConfig");
        QTest::newRow("set") << QByteArray("/h") << QByteArray("/c") << QStringLiteral("/h")
                             << QStringLiteral("/c");
        QTest::newRow("relative XDG folder ignored")
            << QByteArray("/h/") << QByteArray("c") << QStringLiteral("/h")
            << QStringLiteral("/h/.config");
        QTest::newRow("empty HOME") << QByteArray("") << QByteArray() << QStringLiteral("DB")
                                    << QStringLiteral("DB/.config");
        QTest::newRow("unset HOME")
            << QByteArray() << QByteArray() << QStringLiteral("DB") << QStringLiteral("DB/.config");
    }
    void userFolders()
    {
        QFETCH(QByteArray, home);
        QFETCH(QByteArray, config);
        QFETCH(QString, expectedHome);
        QFETCH(QString, expectedConfig);
        TestHome saved; // restores the variables afterwards
        home.isNull() ? qunsetenv("HOME") : qputenv("HOME", home);
        config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
        const QString database = QFile::decodeName(getpwuid(getuid())->pw_dir);
        QCOMPARE(XdgDirs::home(), expectedHome.replace(QStringLiteral("DB"), database));
        QCOMPARE(XdgDirs::configHome(), expectedConfig.replace(QStringLiteral("DB"), database));
    }

    void missingRootFailsAsAWhole()
    {
        const FileIndex::ScanResult result
            = FileIndex::scan(root() + QStringLiteral("/missing"), {});
        QVERIFY(!result.index);
        QVERIFY(result.error.contains(QStringLiteral("No such file or directory")));
        QVERIFY(result.error.contains(root()));
    }

    void largeScriptsAreReadWhole()
    {
        QByteArray big(20 * 1024 * 1024, 'x');
        for (int i = 79; i < big.size(); i += 80)
            big[i] = '\n';
        big.append("\n# @runel.label At the end\n");
        make(QStringLiteral("big.sh"), big);
        const FileIndex index = scan();
        QCOMPARE(index.entries.size(), size_t(1));
        QCOMPARE(index.entries[0].metadata.label, QStringLiteral("At the end"));
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "tst_index_scan.moc"
