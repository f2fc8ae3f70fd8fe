#include "TestEnvironment.h"
#include "execution/LogFileWriter.h"
#include "execution/LogRecord.h"
#include "execution/LogStore.h"
#include "execution/LogWriteQueue.h"

#include <QtTest>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

using namespace runel;
using namespace Qt::StringLiterals;

// Under ThreadSanitizer: Qt is not built with it, so it cannot see its own thread pool's and
// QtTest's watchdog's synchronisation, and reports their teardown as races. Nothing of ours is
// covered.
extern "C" const char *__tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "called_from_lib:libQt6Test.so.6\n";
}

namespace {

const QUuid someId = QUuid::fromString(u"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F"_s);
const char *const validRecord
    = "{\"id\":\"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F\",\"scriptName\":\"S\","
      "\"date\":\"2025-03-01T09:30:00Z\",\"logFileName\":\"a.log\"}";

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A record file and its output file in directory, as a run of another process leaves them.
void writeRun(const QString &directory, const QString &id, const QByteArray &date,
    const QByteArray &status = {})
{
    writeFile(directory + u'/' + id + u".log"_s, QByteArray());
    QByteArray json = "{\"id\":\"" + id.toLatin1() + "\",\"scriptName\":\"S\",\"date\":\"" + date
        + "\",\"logFileName\":\"" + id.toLatin1() + ".log\"";
    if (!status.isEmpty())
        json += ",\"exitStatus\":\"" + status + '"';
    writeFile(directory + u"/."_s + id + u".json"_s, json + '}');
}

} // namespace

// The files of the run log: record format, reading records back, and the output writer.
class TestLogFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordIsCompactJsonInFieldOrder()
    {
        LogRecord record { someId, u"Back \"up\" ü"_s,
            QDateTime(QDate(2025, 3, 1), QTime(9, 30, 0), Qt::UTC),
            LogRecord::logFileNameFor(someId), std::nullopt };
        QCOMPARE(QString::fromStdString(record.toJson()),
            u"{\"id\":\"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F\",\"scriptName\":\"Back \\\"up\\\" "
            u"ü\","
            u"\"date\":\"2025-03-01T09:30:00Z\",\"logFileName\":\"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F.log\"}"_s);

        record.exitStatus = RunExitStatus::cancelled;
        QVERIFY(record.toJson().ends_with(".log\",\"exitStatus\":\"cancelled\"}"));
        QCOMPARE(LogRecord::fromJson(record.toJson()), record);
        QCOMPARE(
            LogRecord::recordFileNameFor(someId), u".8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F.json"_s);
    }

    void recordDecoding_data()
    {
        // change: "key=JSON" sets a member of a valid record, "-key" removes it, "!text" is the
        // whole file. expected: the status read ("running" for none), or "rejected".
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no status: running") << QByteArray() << u"running"_s;
        for (const char *raw : { "success", "failure", "cancelled", "interrupted" }) {
            QTest::addRow("status %s", raw)
                << "exitStatus=\"" + QByteArray(raw) + '"' << QString::fromLatin1(raw);
        }
        QTest::newRow("null status: running") << QByteArray("exitStatus=null") << u"running"_s;
        QTest::newRow("unknown member ignored") << QByteArray("pid=12") << u"running"_s;
        QTest::newRow("offset date taken to UTC")
            << QByteArray("date=\"2025-03-01T10:30:00+01:00\"") << u"running"_s;
        QTest::newRow("lower-case id")
            << QByteArray("id=\"8d3b4c1e-2f6a-4b7c-9d0e-1a2b3c4d5e6f\"") << u"running"_s;

        QTest::newRow("unknown status") << QByteArray("exitStatus=\"ok\"") << u"rejected"_s;
        QTest::newRow("status of another case")
            << QByteArray("exitStatus=\"Success\"") << u"rejected"_s;
        QTest::newRow("status not a string") << QByteArray("exitStatus=0") << u"rejected"_s;
        QTest::newRow("date without zone")
            << QByteArray("date=\"2025-03-01T09:30:00\"") << u"rejected"_s;
        QTest::newRow("date with fraction")
            << QByteArray("date=\"2025-03-01T09:30:00.5Z\"") << u"rejected"_s;
        QTest::newRow("offset date past year 9999")
            << QByteArray("date=\"9999-12-31T23:30:00-01:00\"") << u"rejected"_s;
        QTest::newRow("offset date before year 1")
            << QByteArray("date=\"0001-01-01T00:30:00+01:00\"") << u"rejected"_s;
        QTest::newRow("impossible date")
            << QByteArray("date=\"2025-02-30T09:30:00Z\"") << u"rejected"_s;
        QTest::newRow("id in braces")
            << QByteArray("id=\"{8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6F}\"") << u"rejected"_s;
        QTest::newRow("id not hex")
            << QByteArray("id=\"8D3B4C1E-2F6A-4B7C-9D0E-1A2B3C4D5E6G\"") << u"rejected"_s;
        QTest::newRow("output outside the folder")
            << QByteArray("logFileName=\"../x.log\"") << u"rejected"_s;
        QTest::newRow("script name missing") << QByteArray("-scriptName") << u"rejected"_s;
        QTest::newRow("script name a number") << QByteArray("scriptName=1") << u"rejected"_s;
        QTest::newRow("truncated") << QByteArray("!{\"id\":\"8D3B") << u"rejected"_s;
        QTest::newRow("not an object") << QByteArray("![]") << u"rejected"_s;
    }

    void recordDecoding()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, expected);
        nlohmann::json object = nlohmann::json::parse(validRecord);
        std::string text;
        if (change.startsWith('!')) {
            text = change.mid(1).toStdString();
        } else {
            if (change.startsWith('-'))
                object.erase(change.mid(1).toStdString());
            else if (const qsizetype at = change.indexOf('='); at > 0)
                object[change.left(at).toStdString()]
                    = nlohmann::json::parse(change.mid(at + 1).toStdString());
            text = object.dump();
        }
        const std::optional<LogRecord> record = LogRecord::fromJson(text);
        QCOMPARE(!record             ? u"rejected"_s
                : record->exitStatus ? rawValue(*record->exitStatus)
                                     : u"running"_s,
            expected);
        if (!record)
            return;
        QCOMPARE(record->id, someId);
        QCOMPARE(dateString(record->date), u"2025-03-01T09:30:00Z"_s);
    }

    void loadRecordsSkipsWhatIsNotARecord()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QString kept1 = u"00000000-0000-4000-8000-000000000001"_s;
        const QString kept2 = u"00000000-0000-4000-8000-000000000002"_s;
        writeRun(d, kept2, "2025-03-02T00:00:00Z", "success");
        writeRun(d, kept1, "2025-03-01T00:00:00Z");

        // Each of these is skipped, and none stops the others.
        const QString noOutput = u"00000000-0000-4000-8000-000000000003"_s;
        writeRun(d, noOutput, "2025-03-01T00:00:00Z", "success");
        QFile::remove(d + u'/' + noOutput + u".log"_s);
        writeFile(d + u"/.corrupt.json"_s, "{\"id\":");
        writeFile(d + u"/.binary.json"_s, QByteArray("\xff\xfe\0\x01", 4));
        writeFile(d + u"/visible.json"_s, contentsOf(d + u"/."_s + kept1 + u".json"_s));
        writeFile(d + u"/.record.txt"_s, contentsOf(d + u"/."_s + kept1 + u".json"_s));
        QDir(d).mkdir(u".folder.json"_s);
        QVERIFY(::mkfifo(QFile::encodeName(d + u"/.fifo.json"_s).constData(), 0600) == 0);
        writeFile(d + u"/.huge.json"_s, QByteArray(2 << 20, ' '));

        const QList<LogRecord> records = LogStore::loadRecords(d);
        QCOMPARE(records.size(), 2);
        QCOMPARE(uuidString(records[0].id), kept1); // oldest first
        QCOMPARE(records[0].exitStatus, std::nullopt);
        QCOMPARE(uuidString(records[1].id), kept2);
        QCOMPARE(records[1].exitStatus, RunExitStatus::success);
        // Skipped files are left on disk.
        QVERIFY(QFile::exists(d + u"/.corrupt.json"_s));

        QVERIFY(LogStore::loadRecords(d + u"/missing"_s).isEmpty());
    }

    void writerAppendsCreatesPrivateFileAndFolder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"new/folder/run.log"_s);
        LogFileWriter writer(path);
        QVERIFY(writer.open());
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf(dir.filePath(u"new"_s)), mode_t(0700));
        QCOMPARE(modeOf(dir.filePath(u"new/folder"_s)), mode_t(0700));
        writer.write("one ", 4);
        writer.write(QByteArray());
        writer.write(QByteArray("two"));
        writer.close();
        writer.write(QByteArray("after close"));
        QVERIFY(writer.isClosed());
        QCOMPARE(contentsOf(path), QByteArray("one two"));

        // An existing file keeps its content.
        LogFileWriter again(path);
        again.write(QByteArray("!"));
        again.close();
        QCOMPARE(contentsOf(path), QByteArray("one two!"));

        // A run without output still leaves its (empty) output file.
        LogFileWriter { dir.filePath(u"quiet.log"_s) }.close();
        QVERIFY(QFileInfo(dir.filePath(u"quiet.log"_s)).isFile());
    }

    void failedOpenDropsChunkAndRetriesOnNextWrite()
    {
        QTemporaryDir dir;
        // A file where the folder should be: open fails, the chunk is dropped quietly.
        writeFile(dir.filePath(u"blocked"_s), "x");
        const QString path = dir.filePath(u"blocked/run.log"_s);
        LogFileWriter writer(path);
        QVERIFY(!writer.open());
        writer.write(QByteArray("lost"));
        QVERIFY(QFile::remove(dir.filePath(u"blocked"_s)));
        writer.write(QByteArray("kept"));
        writer.close();
        QCOMPARE(contentsOf(path), QByteArray("kept"));
    }

    void concurrentWritesKeepEveryChunkWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"run.log"_s);
        auto writer = std::make_shared<LogFileWriter>(path);
        constexpr int chunks = 2000;
        // A chunk: tag letter, 5-digit sequence number, a run of the tag letter, newline.
        const auto writeChunks = [writer](char tag) {
            for (int i = 0; i < chunks; ++i) {
                std::string chunk
                    = tag + QByteArray::number(i).rightJustified(5, '0').toStdString();
                chunk.append(std::size_t(1 + (i * 37) % 3000), tag);
                chunk += '\n';
                writer->write(chunk.data(), chunk.size());
            }
        };
        std::thread out(writeChunks, 'o');
        std::thread err(writeChunks, 'e');
        out.join();
        err.join();
        writer->close();

        const QByteArray text = contentsOf(path);
        QHash<char, int> next { { 'o', 0 }, { 'e', 0 } };
        qsizetype at = 0;
        while (at < text.size()) {
            const qsizetype end = text.indexOf('\n', at);
            QVERIFY(end > at + 6);
            const char tag = text[at];
            QVERIFY(tag == 'o' || tag == 'e');
            const int sequence = text.mid(at + 1, 5).toInt();
            QCOMPARE(sequence, next[tag]);
            const QByteArray body = text.mid(at + 6, end - at - 6);
            QCOMPARE(body, QByteArray(1 + (sequence * 37) % 3000, tag));
            next[tag] = sequence + 1;
            at = end + 1;
        }
        QCOMPARE(next['o'], chunks);
        QCOMPARE(next['e'], chunks);
    }

    void writeQueueRunsJobsInOrderAndFinishesThemOnDestruction()
    {
        QList<int> done;
        {
            LogWriteQueue queue;
            for (int i = 0; i < 100; ++i)
                queue.enqueue([&done, i] { done.append(i); });
        }
        QCOMPARE(done.size(), 100);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(done[i], i);
    }
};

QTEST_GUILESS_MAIN(TestLogFiles)
#include "tst_log_files.moc"
