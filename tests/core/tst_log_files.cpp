#include "RunFixtures.h"
#include "core/log/LogFileWriter.h"
#include "core/log/LogRecord.h"
#include "core/log/LogStore.h"
#include "core/log/LogWriteQueue.h"

#include <nlohmann/json.hpp>
#include <thread>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

const QUuid someId = QUuid::fromString(u"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F"_s);
const char *const validRecord
    = "{\"id\":\"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F\",\"scriptName\":\"S\","
      "\"date\":\"2025-03-01T09:30:00Z\",\"logFileName\":\"a.log\"}";

// The valid record with "key=JSON" members set, separated by "; "; "!text" is the whole file.
std::string recordWith(const QByteArray &changes)
{
    if (changes.startsWith('!'))
        return changes.mid(1).toStdString();
    nlohmann::json object = nlohmann::json::parse(validRecord);
    for (const QByteArray &change : changes.split(';')) {
        if (const qsizetype at = change.indexOf('='); at > 0)
            object[change.left(at).trimmed().toStdString()]
                = nlohmann::json::parse(change.mid(at + 1).toStdString());
    }
    return object.dump();
}

} // namespace

// The files of the run log: record format, reading records back, and the output writer.
class TestLogFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordDecoding_data()
    {
        // change: "key=JSON" sets members of a valid record, "!text" is the whole file. expected:
        // the status read ("running" for none), then the script path and arguments that recall
        // and ranking read, joined by "|", when there are any; or "rejected".
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no status: running") << QByteArray() << u"running"_s;
        for (const char *raw : { "success", "failure", "cancelled", "interrupted" }) {
            QTest::addRow("status %s", raw)
                << "exitStatus=\"" + QByteArray(raw) + '"' << QString::fromLatin1(raw);
        }
        QTest::newRow("offset date taken to UTC")
            << QByteArray("date=\"2025-03-01T10:30:00+01:00\"") << u"running"_s;
        QTest::newRow("lower-case id")
            << QByteArray("id=\"8d3b4c1e-2f6a-4b7c-9d0e-1a2b3c4d5e6f\"") << u"running"_s;
        QTest::newRow("arguments not a list: dropped, record kept")
            << QByteArray("scriptPath=\"/p\"; arguments=\"x\"") << u"running /p"_s;
        QTest::newRow("an argument not a string: all dropped")
            << QByteArray("arguments=[\"x\", 1]") << u"running"_s;

        for (const auto &[name, change] :
            std::initializer_list<std::pair<const char *, QByteArray>> {
                { "status of another case", "exitStatus=\"Success\"" },
                { "date without zone", "date=\"2025-03-01T09:30:00\"" },
                { "offset date past year 9999", "date=\"9999-12-31T23:30:00-01:00\"" },
                { "id not hex", "id=\"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6G\"" },
                { "output outside the folder", "logFileName=\"../x.log\"" },
                { "script name a number", "scriptName=1" }, { "truncated", "!{\"id\":\"8D3B" },
                { "not an object", "![]" } })
            QTest::newRow(name) << change << u"rejected"_s;
    }

    void recordDecoding()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, expected);
        const std::optional<LogRecord> record = LogRecord::fromJson(recordWith(change));
        if (!record) {
            QCOMPARE(u"rejected"_s, expected);
            return;
        }
        const QString use = (QStringList { record->scriptPath } + record->arguments).join(u'|');
        QCOMPARE((record->exitStatus ? rawValue(*record->exitStatus) : u"running"_s)
                + (use.isEmpty() ? QString() : u' ' + use),
            expected);
        QCOMPARE(record->id, someId);
        QCOMPARE(dateString(record->date), u"2025-03-01T09:30:00Z"_s);
        // A record survives a write and a read unchanged.
        QCOMPARE(LogRecord::fromJson(record->toJson()), record);
    }

    void loadRecordsSkipsWhatIsNotARecord()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QString kept2
            = writeLoggedRun(d, u"S"_s, u"2025-03-02T00:00:00Z"_s, RunExitStatus::success);
        const QString kept1 = writeLoggedRun(d, u"S"_s, u"2025-03-01T00:00:00Z"_s, std::nullopt);

        // Each of these is skipped, and none stops the others.
        const QString noOutput
            = writeLoggedRun(d, u"S"_s, u"2025-03-01T00:00:00Z"_s, RunExitStatus::success);
        QFile::remove(d + u'/' + noOutput + u".log"_s);
        writeFile(d + u"/.corrupt.json"_s, "{\"id\":");
        QDir(d).mkdir(u".folder.json"_s);
        QVERIFY(::mkfifo(QFile::encodeName(d + u"/.fifo.json"_s).constData(), 0600) == 0);
        writeFile(d + u"/.huge.json"_s, QByteArray(2 << 20, ' '));

        const QList<LogRecord> records = LogStore::loadRecords(d);
        QCOMPARE(records.size(), 2);
        QCOMPARE(uuidString(records[0].id) + u' ' + uuidString(records[1].id),
            kept1 + u' ' + kept2); // oldest first
        // Skipped files are left on disk.
        QVERIFY(QFile::exists(d + u"/.corrupt.json"_s));

        QVERIFY(LogStore::loadRecords(d + u"/missing"_s).isEmpty());
    }

    // Private files in private folders; an existing file is appended to; a failed open drops
    // its chunk quietly and is tried again on the next write.
    void writerAppendsToAPrivateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"new/folder/run.log"_s);
        LogFileWriter writer(path);
        QVERIFY(writer.open());
        writer.write("one ", 4);
        writer.write(QByteArray());
        writer.close();
        writer.write(QByteArray("after close"));
        QVERIFY(writer.isClosed());
        LogFileWriter again(path);
        again.write(QByteArray("two"));
        again.close();
        QCOMPARE(fileBytes(path), QByteArray("one two"));

        writeFile(dir.filePath(u"blocked"_s), "x"); // a file where the folder should be
        LogFileWriter blocked(dir.filePath(u"blocked/run.log"_s));
        QVERIFY(!blocked.open());
        blocked.write(QByteArray("lost"));
        QVERIFY(QFile::remove(dir.filePath(u"blocked"_s)));
        blocked.write(QByteArray("kept"));
        blocked.close();
        QCOMPARE(fileBytes(dir.filePath(u"blocked/run.log"_s)), QByteArray("kept"));
    }

    // Two streams written at once: every chunk whole ("o" or "e", its number, a run of its
    // letter), each stream's in order.
    void concurrentWritesKeepEveryChunkWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"run.log"_s);
        auto writer = std::make_shared<LogFileWriter>(path);
        constexpr int chunks = 2000;
        const auto chunk = [](char tag, int i) {
            return tag + QByteArray::number(i).rightJustified(5, '0')
                + QByteArray(1 + (i * 37) % 3000, tag) + '\n';
        };
        const auto writeChunks = [&](char tag) {
            for (int i = 0; i < chunks; ++i)
                writer->write(chunk(tag, i));
        };
        std::thread out(writeChunks, 'o');
        std::thread err(writeChunks, 'e');
        out.join();
        err.join();
        writer->close();

        QHash<char, int> next { { 'o', 0 }, { 'e', 0 } };
        for (const QByteArray &line : fileBytes(path).split('\n')) {
            if (!line.isEmpty())
                QCOMPARE(line + '\n', chunk(line[0], next[line[0]]++));
        }
        QCOMPARE(next, (QHash<char, int> { { 'o', chunks }, { 'e', chunks } }));
    }

    // Jobs run in order, and those still queued when the queue goes are run, not dropped: they
    // are the outcomes of runs.
    void writeQueueRunsJobsInOrderAndFinishesThemOnDestruction()
    {
        QList<int> done, expected;
        {
            LogWriteQueue queue;
            for (int i = 0; i < 100; ++i) {
                queue.enqueue([&done, i] { done.append(i); });
                expected.append(i);
            }
        }
        QCOMPARE(done, expected);
    }
};

QTEST_GUILESS_MAIN(TestLogFiles)
#include "tst_log_files.moc"
