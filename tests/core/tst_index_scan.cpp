#include "TestEnvironment.h"
#include "core/index/FileIndex.h"

#include <QtTest>
#include <unistd.h>

using namespace runel;
using namespace Qt::StringLiterals;

// The walk of the scripts folder: order, limits, links and files that cannot be read; and what
// counts as a script when an empty folder is seeded.
class TestScan : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString root() const { return m_dir.path() + u"/scripts"_s; }
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
            const QStringList link = file.split(u"->"_s);
            if (link.size() == 1) {
                make(file);
                continue;
            }
            const QString path = root() + u'/' + link[0];
            QDir().mkpath(QFileInfo(path).path());
            QVERIFY(::symlink(link[1].toUtf8().constData(), path.toUtf8().constData()) == 0);
        }
    }
    FileIndex scan()
    {
        Expected<FileIndex> result = FileIndex::scan(root(), {});
        if (!result)
            qWarning() << result.error();
        return std::move(result).value_or(FileIndex());
    }

private Q_SLOTS:
    void init()
    {
        QDir(root()).removeRecursively();
        QVERIFY(!QFileInfo::exists(root()));
        writeFile(m_dir.path() + u"/outside/t.sh"_s, "# @runel.label Tool\n");
        writeFile(m_dir.path() + u"/outside/dir/inner.sh"_s);
    }

    // What the walk lists, in order: depth first, case-insensitive, visible scripts only;
    // links are followed, and links that lead nowhere or back up end quietly. Files are "path"
    // or "path->target" for a symbolic link; outside/ holds t.sh and dir/inner.sh.
    void listing_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("depth first, case-insensitive")
            << QStringList { u"B.sh"_s, u"a.sh"_s, u"c/z.sh"_s, u"c/d/y.sh"_s, u"c/e.sh"_s,
                   u"deploy.sh"_s, u"Deploy.sh"_s, u"\u00E9t\u00E9.sh"_s }
            << QStringList { u"a.sh"_s, u"B.sh"_s, u"c/d/y.sh"_s, u"c/e.sh"_s, u"c/z.sh"_s,
                   u"Deploy.sh"_s, u"deploy.sh"_s, u"\u00E9t\u00E9.sh"_s };
        QTest::newRow("only visible scripts, extension in any case")
            << QStringList { u"notes.txt"_s, u".hidden.sh"_s, u".git/hook.sh"_s, u"RUN.SH"_s,
                   u"x.AppleScript"_s, u"sh"_s }
            << QStringList { u"RUN.SH"_s, u"x.AppleScript"_s };
        QTest::newRow("linked script and folder, loop back to the root")
            << QStringList { u"real/a.sh"_s, u"tool.sh->../outside/t.sh"_s,
                   u"linked->../outside/dir"_s, u"real/loop->.."_s }
            << QStringList { u"linked/inner.sh"_s, u"real/a.sh"_s, u"tool.sh"_s };
        // Alone in its folder, a link is the last entry listed.
        QTest::newRow("two links to each other") << QStringList { u"only/a->b"_s, u"only/b->a"_s,
            u"real.sh"_s } << QStringList { u"real.sh"_s };
    }
    void listing()
    {
        QFETCH(QStringList, files);
        makeAll(files);
        QTEST(paths(scan()), "listed");
    }

    // A linked script is read and keeps its place in the tree; the root itself may be a link.
    void linkedItems()
    {
        makeAll({ u"tool.sh->../outside/t.sh"_s });
        const FileIndex index = scan();
        QCOMPARE(index.entries[0].metadata.label, u"Tool"_s);
        QCOMPARE(index.entries[0].standardizedPath(), root() + u"/tool.sh"_s);
        const QString linkedRoot = m_dir.path() + u"/linked-root"_s;
        QVERIFY(QFile::link(root(), linkedRoot));
        const auto viaLink = FileIndex::scan(linkedRoot, {});
        QVERIFY(viaLink);
        QCOMPARE(viaLink->entries.size(), size_t(1));
        QCOMPARE(viaLink->entries[0].path, linkedRoot + u"/tool.sh"_s);
        QFile::remove(linkedRoot);
    }

    // A file that cannot be read, or whose text or name is not UTF-8, is an item with its error.
    void unreadableFilesAreItemsWithTheirError()
    {
        make(u"bad.sh"_s, QByteArray("# @runel.label Bad\n\xff\xfe oops\n"));
        make(u"overlong.sh"_s, QByteArray("\xc0\xaf"));
        make(u"good.sh"_s, QByteArray("# @runel.label G\u00FCt\n").replace("\\u00FC", "\xc3\xbc"));
        make(u"new\nline.sh"_s);
        QFile::setPermissions(make(u"locked.sh"_s), {});
        const QByteArray odd = QFile::encodeName(root()) + "/caf\xe9.sh";
        FILE *raw = fopen(odd.constData(), "w");
        QVERIFY(raw && fputs("echo\n", raw) >= 0 && fclose(raw) == 0);
        const FileIndex index = scan();
        ::unlink(odd.constData()); // Qt cannot remove what it cannot name
        QCOMPARE(index.entries.size(), size_t(6));
        for (const FileItem &item : index.entries) {
            const QString &path = item.relativePath;
            if (path == u"good.sh" || path == u"new\nline.sh") {
                QVERIFY2(item.status.isValid() && !item.readError, qPrintable(path));
                continue;
            }
            if (path == u"locked.sh" && geteuid() == 0)
                continue; // root reads anything; the command-line tests cover this as another user
            QVERIFY2(item.status.is(IndexInvalidReason::readFailure), qPrintable(path));
            QVERIFY(item.readError && !item.readError->isEmpty());
            QCOMPARE(item.metadata, ShellFileMetadata());
            if (path == u"locked.sh")
                QCOMPARE(*item.readError, u"Permission denied"_s);
            if (path.startsWith(u"caf"))
                QVERIFY(path == u"caf\uFFFD.sh"_s && item.readError->contains(u"UTF-8"_s));
        }
    }

    // Sizes around the 64 KiB read buffer, and far beyond it.
    void largeScriptsAreReadWhole_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : { 65535 - 27, 65536 - 27, 65537 - 27, 3 * 65536, 20 * 1024 * 1024 })
            QTest::addRow("%d bytes", size + 27) << size;
    }
    void largeScriptsAreReadWhole()
    {
        QFETCH(int, size);
        QByteArray big(size, 'x');
        for (int i = 79; i < big.size(); i += 80)
            big[i] = '\n';
        big.append("\n# @runel.label At the end\n");
        make(u"big.sh"_s, big);
        const FileIndex index = scan();
        QCOMPARE(index.entries.size(), size_t(1));
        QCOMPARE(index.entries[0].metadata.label, u"At the end"_s);
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "tst_index_scan.moc"
