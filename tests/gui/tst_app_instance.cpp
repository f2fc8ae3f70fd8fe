#include "TestEnvironment.h"
#include "cli/RunelProcess.h"
#include "core/instance/InstanceClient.h"
#include "core/instance/InstanceCommand.h"
#include "core/instance/InstanceSocket.h"
#include "gui/app/InstanceServer.h"

#include <QSignalSpy>
#include <QtTest>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace runel;
using namespace Qt::StringLiterals;
using Status = InstanceReply::Status;

Q_DECLARE_METATYPE(std::optional<runel::InstanceCommand>)

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info { };
    lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}

sockaddr_un addressOf(const QString &path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return address;
}

// A socket nobody answers at path: bound only (-1 is returned), as an app that crashed leaves
// it, or listening with the backlog given, as a hung app leaves it.
int deadSocket(const QString &path, mode_t mode, int backlog = -1)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    chmod(QFile::encodeName(path).constData(), mode);
    if (backlog >= 0 && listen(fd, backlog) == 0)
        return fd;
    close(fd);
    return -1;
}

// A client that connects and sends nothing; -1 when the connect failed.
int idleClient(const QString &path, int flags = 0)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    const sockaddr_un address = addressOf(path);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool closedByPeer(int fd)
{
    char byte = 0;
    return recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

// program, beside the runel under test, drawing offscreen.
QProcess *start(const QString &program, const QStringList &arguments, QObject *parent)
{
    auto *process = new QProcess(parent);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(environment);
    process->start(QFileInfo(test::runelBinary()).dir().filePath(program), arguments);
    return process;
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
    InstanceReply send(InstanceCommand command, QStringList environment = {})
    {
        return offThread([=] { return sendToInstance({ command, environment, {} }); });
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
        QTest::newRow("a folder only others can write is refused")
            << "mode 703" << false << "can be written by other users" << 0703;
        QTest::newRow("a link is refused") << "link" << false << "is not a folder" << 0;
        QTest::newRow("a stale runtime variable is reported")
            << "stale" << false << "Check XDG_RUNTIME_DIR" << 0;
        QTest::newRow("without the runtime variable, a private temporary folder serves")
            << "unset" << true << "" << 0700;
    }
    void folderChecks()
    {
        QFETCH(QString, setup);
        QFETCH(QString, errorPart);
        QFETCH(int, modeAfter);
        if (setup.startsWith(QStringLiteral("mode "))) {
            QDir().mkpath(folder());
            chmod(QFile::encodeName(folder()).constData(), mode_t(setup.mid(5).toInt(nullptr, 8)));
        } else if (setup == QStringLiteral("link")) {
            QDir().mkpath(m_home->file(QStringLiteral("elsewhere")));
            QVERIFY(QFile::link(m_home->file(QStringLiteral("elsewhere")), folder()));
        } else if (setup == QStringLiteral("stale")) {
            qputenv("XDG_RUNTIME_DIR", m_home->file(QStringLiteral("gone")).toUtf8());
        } else if (setup == QStringLiteral("unset")) {
            qunsetenv("XDG_RUNTIME_DIR");
            qputenv("TMPDIR", m_home->path().toUtf8());
        }

        const InstanceFolder result = instanceFolder(true);
        QTEST(result.isUsable(), "usable");
        QVERIFY2(result.error.contains(errorPart), qPrintable(result.error));
        const QString made
            = setup == u"unset" ? m_home->file(u"runel-%1"_s.arg(getuid())) : folder();
        if (result.isUsable())
            QCOMPARE(result.path, made);
        if (modeAfter != 0)
            QCOMPARE(int(modeOf(made)), modeAfter);
        qunsetenv("TMPDIR");
    }

    void socketChecks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("errorPart");
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
            deadSocket(place.socketPath(), mode_t(kind.mid(7).toInt(nullptr, 8)));
        else if (kind == QStringLiteral("file"))
            writeFile(place.socketPath());
        const QString problem = socketFileProblem(place.socketPath());
        QVERIFY2(problem.contains(errorPart), qPrintable(problem));
        gui::InstanceServer server;
        QCOMPARE(server.listen({}).outcome, gui::InstanceServer::Outcome::failed);
        QCOMPARE(send(InstanceCommand::hide).status, Status::failed);
    }

    void urls_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<std::optional<InstanceCommand>>("command");
        QTest::addColumn<QString>("keys");
        const std::optional<InstanceCommand> none;
        const auto keys = std::optional(InstanceCommand::showKeys);
        QTest::newRow("keys are percent-decoded, among other items")
            << "runel://show/?x=1&keys=g%20d+%C3%A9&keys=no" << keys << u"g d+é"_s;
        QTest::newRow("keys in the fragment are not read")
            << "runel://show#?keys=gd" << std::optional(InstanceCommand::show) << QString();
        QTest::newRow("user info and port are not the host")
            << "runel://me@toggle:9" << std::optional(InstanceCommand::toggle) << QString();
        QTest::newRow("another host is ignored") << "runel://quit" << none << QString();
    }
    void urls()
    {
        QFETCH(QString, url);
        QFETCH(std::optional<InstanceCommand>, command);
        const std::optional<InstanceRequest> request = instanceRequestFromUrl(url);
        QCOMPARE(request ? std::optional(request->command) : std::nullopt, command);
        if (request)
            QTEST(request->keys, "keys");
    }

    // The keys travel whole whatever they hold: nothing in them can end the request early or
    // pose as an activation variable.
    void keysOnTheWire()
    {
        const QStringList activation { u"XDG_ACTIVATION_TOKEN=t"_s };
        for (const QString &keys : { u"a b%2B+é😀"_s, u"x\nXDG_ACTIVATION_TOKEN=evil\n\n"_s }) {
            const std::optional<InstanceRequest> decoded = InstanceRequest::decode(
                InstanceRequest { InstanceCommand::showKeys, activation, keys }.encoded());
            QVERIFY2(decoded && decoded->keys == keys, qPrintable(keys));
            QCOMPARE(decoded->command, InstanceCommand::showKeys);
            QCOMPARE(decoded->environment, activation);
        }
    }

    void commandsReachTheRunningApp()
    {
        QCOMPARE(send(InstanceCommand::hide).status, Status::notRunning);
        // A socket left behind by an app that crashed answers nobody and is replaced.
        deadSocket(instanceFolder(true).socketPath(), 0700);
        QCOMPARE(send(InstanceCommand::hide).status, Status::notRunning);

        gui::InstanceServer server;
        QCOMPARE(server.listen({}).outcome, gui::InstanceServer::Outcome::listening);
        QCOMPARE(int(modeOf(server.socketPath())) & 077, 0);
        // A program the app starts holds none of its locks: they must end with the app.
        QProcess child;
        child.start(u"sh"_s, { u"-c"_s, u"ls -l /proc/$$/fd"_s });
        QVERIFY(child.waitForFinished());
        QVERIFY(!child.readAll().contains(".lock"));
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

        // A second app hands its command to the first and leaves the socket alone.
        gui::InstanceServer second;
        const auto outcome = offThread([&] {
            return second.listen({ InstanceCommand::toggle, {}, {} });
        });
        QCOMPARE(outcome.outcome, gui::InstanceServer::Outcome::otherInstance);
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(send(InstanceCommand::hide).status, Status::delivered);
    }

    // Starting is one step: of two apps started at the same moment one listens, the other hands
    // its command over and ends. A socket that answers nobody keeps both starting apps at their
    // probe for two seconds, however far apart their starts were: they meet there for sure.
    void twoStartsAtOnceMakeOneApp()
    {
        const int silent = deadSocket(instanceFolder(true).socketPath(), 0600, 8);
        QObject owner;
        QProcess *first = start(u"runel-app"_s, { u"toggle"_s }, &owner);
        QProcess *second = start(u"runel-app"_s, { u"toggle"_s }, &owner);
        QTRY_VERIFY_WITH_TIMEOUT(
            first->state() == QProcess::NotRunning || second->state() == QProcess::NotRunning,
            20000);
        QProcess *handedOver = first->state() == QProcess::NotRunning ? first : second;
        QProcess *app = handedOver == first ? second : first;
        QVERIFY2(handedOver->exitStatus() == QProcess::NormalExit && handedOver->exitCode() == 0,
            handedOver->readAllStandardError().constData());
        QCOMPARE(app->state(), QProcess::Running);
        QCOMPARE(test::runRunel({ u"quit"_s }).exitCode, 0);
        QVERIFY(app->waitForFinished(20000));
        QCOMPARE(app->exitCode(), 0);
        close(silent);
    }

    // Idle clients, more than the app keeps open: it keeps listening, closes each idle one after
    // two seconds, and the next command reaches it.
    void idleClientsNeitherStopNorStarveTheApp()
    {
        gui::InstanceServer server;
        QCOMPARE(server.listen({}).outcome, gui::InstanceServer::Outcome::listening);
        QSignalSpy received(&server, &gui::InstanceServer::requestReceived);
        std::vector<int> clients;
        for (int i = 0; i < gui::InstanceServer::maximumConnections + 36; ++i)
            clients.push_back(idleClient(server.socketPath()));
        QVERIFY(std::find(clients.begin(), clients.end(), -1) == clients.end());

        QTRY_COMPARE(server.openConnections(), gui::InstanceServer::maximumConnections);
        for (int turn = 0; turn < 20; ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(server.openConnections(), gui::InstanceServer::maximumConnections);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(clients.begin(), clients.end(), closedByPeer), 15000);
        for (const int fd : clients)
            close(fd);

        const test::Run hide = offThread([] { return test::runRunel({ u"hide"_s }); });
        QVERIFY2(hide.exitCode == 0, hide.err.constData());
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.constFirst().constFirst().value<InstanceRequest>().command,
            InstanceCommand::hide);
    }

    // What a client of its own making gets: the answer to a whole request, however it arrives
    // and whether or not the client has closed its end, and nothing for anything else.
    void clientsAreAnsweredOnlyForAWholeRequest_data()
    {
        QTest::addColumn<QByteArrayList>("pieces"); // sent one after another
        QTest::addColumn<bool>("closesItsEnd"); // after sending
        QTest::addColumn<QByteArray>("answer");
        const QByteArray hide = InstanceRequest { InstanceCommand::hide, {}, {} }.encoded();
        QTest::newRow("a request in two pieces")
            << QByteArrayList { hide.first(2), hide.sliced(2) } << false << "ok\n"_ba;
        QTest::newRow("a request, then the end closed")
            << QByteArrayList { hide } << true << "ok\n"_ba;
        QTest::newRow("no command named") << QByteArrayList { "launch-missiles\n\n" } << false
                                          << "this app does not know that command\n"_ba;
        QTest::newRow("half a request, then the end closed")
            << QByteArrayList { hide.first(2) } << true << QByteArray();
        QTest::newRow("more than a request may hold")
            << QByteArrayList { QByteArray(20 * 1024, 'x') + "\n\n" } << false << QByteArray();
    }
    void clientsAreAnsweredOnlyForAWholeRequest()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(bool, closesItsEnd);
        QFETCH(QByteArray, answer);
        gui::InstanceServer server;
        QCOMPARE(server.listen({}).outcome, gui::InstanceServer::Outcome::listening);
        QSignalSpy received(&server, &gui::InstanceServer::requestReceived);
        const QByteArray heard = offThread([&] {
            const int fd = idleClient(server.socketPath());
            for (const QByteArray &piece : pieces) {
                ::send(fd, piece.constData(), size_t(piece.size()), MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (closesItsEnd)
                shutdown(fd, SHUT_WR);
            QByteArray bytes;
            char buffer[256];
            for (ssize_t count; (count = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                bytes.append(buffer, count);
            close(fd);
            return bytes;
        });
        QCOMPARE(heard, answer);
        QCOMPARE(received.size(), answer == "ok\n" ? 1 : 0);
        QTRY_COMPARE(server.openConnections(), 0);
    }

    // A command waits two seconds at most for an app that takes no connection or gives no
    // answer, then says so and fails.
    void aCommandGivesUpOnAnAppThatDoesNotAnswer_data()
    {
        QTest::addColumn<bool>("backlogFull");
        QTest::newRow("the connection is never read") << false;
        QTest::newRow("the backlog is full") << true;
    }
    void aCommandGivesUpOnAnAppThatDoesNotAnswer()
    {
        QFETCH(bool, backlogFull);
        const QString path = instanceFolder(true).socketPath();
        const int stuck = deadSocket(path, 0600, 0);
        std::vector<int> waiting;
        while (backlogFull) {
            const int fd = idleClient(path, SOCK_NONBLOCK);
            if (fd < 0)
                break;
            waiting.push_back(fd);
        }

        QElapsedTimer clock;
        clock.start();
        const test::Run hide = test::runRunel({ u"hide"_s });
        const qint64 elapsed = clock.elapsed();
        for (const int fd : waiting)
            close(fd);
        close(stuck);
        QCOMPARE(hide.exitCode, 1);
        QVERIFY2(hide.err.contains("did not answer within 2 seconds"), hide.err.constData());
        QVERIFY2(elapsed < 4000, QByteArray::number(elapsed).constData());
    }
};

QTEST_MAIN(TestAppInstance)
#include "tst_app_instance.moc"
