#include "TestEnvironment.h"
#include "core/XdgDirs.h"
#include "login-item/LaunchAtLogin.h"

#include <QRegularExpression>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

// Launch at login as the autostart entry on disk, in a private home.
class TestSettingsLogin : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LaunchAtLogin> m_login;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_login = std::make_unique<LaunchAtLogin>(XdgDirs::autostartDir(), u"/usr/bin/runel"_s);
    }
    void cleanup()
    {
        m_login.reset();
        m_home.reset();
    }

    void execArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("exec");
        QTest::newRow("a space quotes") << u"/opt/my apps/runel"_s << u"\"/opt/my apps/runel\""_s;
        // Inside quotes $ takes a backslash, which the string value then doubles.
        QTest::newRow("a dollar is escaped inside quotes")
            << u"/a$b/runel"_s << u"\"/a\\\\$b/runel\""_s;
        QTest::newRow("a backslash twice over") << u"/a\\b"_s << u"\"/a\\\\\\\\b\""_s;
        QTest::newRow("a percent sign is doubled") << u"/50%/runel"_s << u"/50%%/runel"_s;
    }
    void execArgument()
    {
        QFETCH(QString, argument);
        QTEST(LaunchAtLogin::execArgument(argument), "exec");
    }

    // The entry on disk decides; turning it on (again) rewrites it, so it runs again, and
    // turning it off removes it, also when there is nothing to remove.
    void whatIsOnDiskDecides_data()
    {
        QTest::addColumn<QByteArray>("contents"); // empty: no entry
        QTest::addColumn<bool>("enabled");
        QTest::newRow("no entry") << QByteArray() << false;
        QTest::newRow("an entry") << QByteArray("[Desktop Entry]\nExec=runel\n") << true;
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=runel\nHidden = true\n")
                                << false;
        QTest::newRow("hidden in another group")
            << QByteArray("[Desktop Entry]\nExec=runel\n[Desktop Action x]\nHidden=true\n") << true;
    }
    void whatIsOnDiskDecides()
    {
        QFETCH(QByteArray, contents);
        if (!contents.isEmpty())
            writeFile(m_login->entryPath(), contents);
        QTEST(m_login->isEnabled(), "enabled");
        QVERIFY(m_login->setEnabled(true));
        QVERIFY(m_login->isEnabled());
        const QByteArray written = fileBytes(m_login->entryPath());
        QVERIFY(written.startsWith("[Desktop Entry]\nType=Application\n"));
        QVERIFY(written.contains("\nExec=/usr/bin/runel\n"));
        for (int off = 0; off < 2; ++off) {
            QVERIFY(m_login->setEnabled(false));
            QVERIFY(!m_login->isEnabled() && !QFile::exists(m_login->entryPath()));
        }
    }

    // A failed change leaves what was on disk, is logged, and says why in lastError.
    void failuresLeaveTheEntryAsItWas_data()
    {
        QTest::addColumn<QString>("blocker"); // what stands in the way
        QTest::addColumn<bool>("enable");
        QTest::newRow("a full disk over an old entry") << u"full disk"_s << true;
        QTest::newRow("a folder in the entry's place") << u"folder for entry"_s << false;
    }
    void failuresLeaveTheEntryAsItWas()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, enable);
        const QByteArray oldEntry = "[Desktop Entry]\nExec=/old/runel\nHidden=true\n";
        std::optional<FileSizeLimit> full;
        if (blocker == u"full disk"_s) {
            writeFile(m_login->entryPath(), oldEntry);
            full.emplace(0);
        } else {
            writeFile(m_login->entryPath() + u"/inside"_s, "x");
        }
        QTest::ignoreMessage(QtCriticalMsg,
            QRegularExpression(
                u"^Launch at login could not be turned %1: "_s.arg(enable ? u"on"_s : u"off"_s)));
        const Expected<void> done = m_login->setEnabled(enable);
        full.reset();
        QVERIFY(!done && !done.error().isEmpty());
        if (blocker == u"full disk"_s) {
            QVERIFY2(done.error().contains(u"File too large"_s), qPrintable(done.error()));
            QCOMPARE(fileBytes(m_login->entryPath()), oldEntry);
            QCOMPARE(QDir(XdgDirs::autostartDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
        QCOMPARE(m_login->isEnabled(), false);
    }

    void theEntryStartsTheCommandBesideTheApp()
    {
        const QString build = m_home->file(u"build"_s);
        writeFile(build + u"/runel-app"_s);
        QCOMPARE(LaunchAtLogin::commandBesideApp(build + u"/runel-app"_s),
            QDir::cleanPath(build + u"/../../bin/runel"_s));
        writeFile(build + u"/runel"_s);
        QFile::setPermissions(build + u"/runel"_s, QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(LaunchAtLogin::commandBesideApp(build + u"/runel-app"_s), build + u"/runel"_s);
        QCOMPARE(LaunchAtLogin::commandBesideApp(u"/usr/libexec/runel/runel-app"_s),
            u"/usr/bin/runel"_s);
    }
};

QTEST_GUILESS_MAIN(TestSettingsLogin)
#include "tst_settings_login.moc"
