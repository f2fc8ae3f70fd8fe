#include "TestEnvironment.h"
#include "gui/platform/DesktopSystemServices.h"

#include <QTemporaryFile>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The desktop's services as the app has them.
class TestDesktopServices : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Sounds keep standard error quiet, also without a sound card (as in most test machines):
    // a line at most, however many sounds play.
    void soundsKeepStandardErrorQuiet()
    {
        QTemporaryFile captured;
        QVERIFY(captured.open());
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        QVERIFY(saved >= 0);
        QVERIFY(::dup2(captured.handle(), STDERR_FILENO) >= 0);
        {
            runel::gui::DesktopSystemServices services;
            for (const QString &sound : { u"complete"_s, u"dialog-error"_s, u"bell"_s })
                services.playSound(sound);
        }
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        QVERIFY(captured.seek(0));
        const QByteArray said = captured.readAll();
        QVERIFY2(said.count('\n') <= 1, said.constData());
    }
};

QTEST_MAIN(TestDesktopServices)
#include "tst_desktop_services.moc"
