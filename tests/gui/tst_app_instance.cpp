#include "InstanceCommand.h"
#include "InstanceSocket.h"
#include "TestEnvironment.h"
#include "app/InstanceServer.h"
#include "cli/InstanceClient.h"

#include <QSignalSpy>
#include <QtTest>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace runel;
using namespace Qt::StringLiterals;
using Status = cli::InstanceReply::Status;

Q_DECLARE_METATYPE(std::optional<runel::InstanceCommand>)

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info { };
    lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}

// A socket file nobody listens on, as an app that crashed leaves behind.
void makeDeadSocket(const QString &path, mode_t mode)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    QCOMPARE(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
    chmod(native.constData(), mode);
}

} // namespace

// The instance socket: which folders and sockets are refused, how commands and runel:// URLs
// are read, and a client's request reaching the app's server.
class TestAppInstance : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString runtime() const { return m_home->file(QStringLiteral("runtime")); }
    QString folder() const { return runtime() + QStringLiteral("/runel"); }

    // Runs a call that blocks on the other end of the socket on a thread of its own, serving
    // this thread's events meanwhile.
    template<typename Call> static auto offThread(Call call)
    {
        auto result = std::async(std::launch::async, call);
        while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return result.get();
    }
    cli::InstanceReply send(InstanceCommand command, QStringList environment = {})
    {
        return offThread([=] { return cli::sendToInstance({ command, environment }); });
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        QDir().mkpath(runtime());
    }
    void cleanup() { m_home.reset(); }

    void folderChecks_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("errorPart");
        QTest::addColumn<int>("modeAfter");
        QTest::newRow("a missing folder is made private") << "" << true << "" << 0700;
        QTest::newRow("an own folder readable by others is narrowed")
            << "mode 755" << true << "" << 0700;
        QTest::newRow("a folder others can write is refused")
            << "mode 777" << false << "can be written by other users" << 0777;
        QTest::newRow("a group-writable folder is refused")
            << "mode 770" << false << "can be written by other users" << 0770;
        QTest::newRow("a link is refused") << "link" << false << "is not a folder" << 0;
        QTest::newRow("another user's folder is refused")
            << "foreign" << false << "belongs to another user" << 0700;
        QTest::newRow("a stale runtime variable is reported")
            << "stale" << false << "Check XDG_RUNTIME_DIR" << 0;
    }
    void folderChecks()
    {
        QFETCH(QString, setup);
        QFETCH(QString, errorPart);
        QFETCH(int, modeAfter);
        const QByteArray path = QFile::encodeName(folder());
        if (setup.startsWith(QStringLiteral("mode "))) {
            QDir().mkpath(folder());
            chmod(path.constData(), mode_t(setup.mid(5).toInt(nullptr, 8)));
        } else if (setup == QStringLiteral("link")) {
            QDir().mkpath(m_home->file(QStringLiteral("elsewhere")));
            QVERIFY(QFile::link(m_home->file(QStringLiteral("elsewhere")), folder()));
        } else if (setup == QStringLiteral("foreign")) {
            if (getuid() != 0)
                QSKIP("giving a folder to another user needs root");
            QDir().mkpath(folder());
            chmod(path.constData(), 0700);
            QCOMPARE(chown(path.constData(), 65534, 65534), 0);
        } else if (setup == QStringLiteral("stale")) {
            qputenv("XDG_RUNTIME_DIR", m_home->file(QStringLiteral("gone")).toUtf8());
        }

        const InstanceFolder result = instanceFolder(true);
        QTEST(result.isUsable(), "usable");
        QVERIFY2(result.error.contains(errorPart), qPrintable(result.error));
        if (modeAfter != 0)
            QCOMPARE(int(modeOf(folder())), modeAfter);
    }

    void withoutRuntimeVariableAPrivateTemporaryFolderServes()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", m_home->path().toUtf8());
        const InstanceFolder result = instanceFolder(true);
        QVERIFY2(result.isUsable(), qPrintable(result.error));
        QCOMPARE(result.path, m_home->file(QStringLiteral("runel-%1").arg(getuid())));
        QCOMPARE(int(modeOf(result.path)), 0700);
        qunsetenv("TMPDIR");
    }

    void socketChecks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("no socket yet is fine") << QString() << QString();
        QTest::newRow("a socket others can write is refused")
            << u"socket 777"_s << u"can be written by other users"_s;
        QTest::newRow("a file in its place is refused") << u"file"_s << u"is not a socket"_s;
    }
    void socketChecks()
    {
        QFETCH(QString, kind);
        QFETCH(QString, errorPart);
        const InstanceFolder place = instanceFolder(true);
        if (kind.startsWith(QStringLiteral("socket ")))
            makeDeadSocket(place.socketPath(), mode_t(kind.mid(7).toInt(nullptr, 8)));
        else if (kind == QStringLiteral("file"))
            writeFile(place.socketPath());
        const QString problem = socketFileProblem(place.socketPath());
        QCOMPARE(problem.isEmpty(), errorPart.isEmpty());
        QVERIFY2(problem.contains(errorPart), qPrintable(problem));
        if (!errorPart.isEmpty()) {
            gui::InstanceServer server;
            QCOMPARE(server.listen({}).outcome, gui::InstanceServer::Outcome::failed);
            QCOMPARE(send(InstanceCommand::hide).status, Status::failed);
        }
    }

    void urls_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<std::optional<InstanceCommand>>("command");
        const std::optional<InstanceCommand> none;
        QTest::newRow("hide") << "runel://hide" << std::optional(InstanceCommand::hide);
        QTest::newRow("a query, path and fragment are not read")
            << "runel://show/x?a=1#f" << std::optional(InstanceCommand::show);
        QTest::newRow("user info and port are not the host")
            << "runel://me@toggle:9" << std::optional(InstanceCommand::toggle);
        QTest::newRow("a host in capitals is ignored") << "runel://SHOW" << none;
        QTest::newRow("a scheme in capitals is ignored") << "Runel://show" << none;
        QTest::newRow("another host is ignored") << "runel://quit" << none;
        QTest::newRow("an empty host is ignored") << "runel:///show" << none;
        QTest::newRow("another scheme is ignored") << "https://show" << none;
        QTest::newRow("a host with a prefix is ignored") << "runel://showing" << none;
    }
    void urls()
    {
        QFETCH(QString, url);
        QFETCH(std::optional<InstanceCommand>, command);
        QCOMPARE(instanceCommandFromUrl(url), command);
    }

    void commandsReachTheRunningApp()
    {
        QCOMPARE(send(InstanceCommand::hide).status, Status::notRunning);
        // A socket left behind by an app that crashed answers nobody and is replaced.
        makeDeadSocket(instanceFolder(true).socketPath(), 0700);
        QCOMPARE(send(InstanceCommand::hide).status, Status::notRunning);

        gui::InstanceServer server;
        QCOMPARE(server.listen({}).outcome, gui::InstanceServer::Outcome::listening);
        QCOMPARE(int(modeOf(server.socketPath())) & 077, 0);
        QSignalSpy received(&server, &gui::InstanceServer::requestReceived);
        // Only the activation variables are taken on; nothing else of the client's environment.
        const QStringList activation { u"DESKTOP_STARTUP_ID=id"_s, u"XDG_ACTIVATION_TOKEN=a=1"_s };
        for (const InstanceCommand command : { InstanceCommand::show, InstanceCommand::hide,
                 InstanceCommand::toggle, InstanceCommand::toggleSearch, InstanceCommand::reload,
                 InstanceCommand::settings, InstanceCommand::quit, InstanceCommand::reopen }) {
            QCOMPARE(send(command, activation + QStringList { u"PATH=/evil"_s }).status,
                Status::delivered);
            QTRY_COMPARE(received.size(), 1);
            const auto request = received.takeFirst().constFirst().value<InstanceRequest>();
            QCOMPARE(request.command, command);
            QCOMPARE(request.environment, activation);
        }
        // A request cut short or naming no command is dropped.
        QVERIFY(!InstanceRequest::decode("toggle\n"));
        QVERIFY(!InstanceRequest::decode("launch-missiles\n\n"));

        // A second app hands its command to the first and leaves the socket alone.
        gui::InstanceServer second;
        const auto outcome = offThread([&] {
            return second.listen({ InstanceCommand::toggle, {} });
        });
        QCOMPARE(outcome.outcome, gui::InstanceServer::Outcome::otherInstance);
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(send(InstanceCommand::hide).status, Status::delivered);
    }
};

QTEST_MAIN(TestAppInstance)
#include "tst_app_instance.moc"
