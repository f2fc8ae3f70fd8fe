#include "TestEnvironment.h"
#include "gui/platform/DesktopSystemServices.h"
#include "gui/platform/LayerShell.h"
#include "gui/platform/MapExposeFilter.h"
#include "gui/platform/PanelPlacement.h"

#include <QTemporaryFile>
#include <QtTest>
#include <array>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace runel::gui;

Q_DECLARE_METATYPE(runel::gui::PanelBackend)

namespace {

// An X event as libxcb hands it over: 32 bytes as the protocol lays them out, then the full
// sequence number. A MapNotify names the mapped window at byte 8, an Expose at byte 4.
std::array<char, 36> xcbEvent(bool map, std::uint32_t window, std::uint32_t sequence)
{
    std::array<char, 36> bytes {};
    bytes[0] = map ? 19 : 12;
    std::memcpy(bytes.data() + (map ? 8 : 4), &window, 4);
    std::memcpy(bytes.data() + 32, &sequence, 4);
    return bytes;
}

} // namespace

// The desktop's services as the app has them, and which backend puts the HUD's panels on screen
// and where they go, without a compositor.
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
            DesktopSystemServices services;
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

    void chooseBackend_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("built");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<PanelBackend>("expected");
        const auto layer = PanelBackend::layerShell;
        const auto window = PanelBackend::window;
        QTest::newRow("sway or KDE, built with it") << "wayland" << true << true << false << layer;
        QTest::newRow("EGL Wayland platform") << "wayland-egl" << true << true << false << layer;
        QTest::newRow("GNOME offers no layer shell")
            << "wayland" << true << false << false << window;
        QTest::newRow("built without LayerShellQt")
            << "wayland" << false << true << false << window;
        QTest::newRow("turned off by the user") << "wayland" << true << true << true << window;
        QTest::newRow("X11, even under a compositor with it")
            << "xcb" << true << true << false << window;
        QTest::newRow("a platform merely named like it")
            << "waylandish" << true << true << false << window;
    }
    void chooseBackend()
    {
        QFETCH(QString, platform);
        QFETCH(bool, built);
        QFETCH(bool, offered);
        QFETCH(bool, disabled);
        QFETCH(PanelBackend, expected);
        QCOMPARE(choosePanelBackend(platform, built, offered, disabled), expected);
    }

    void layout_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QSize>("hud");
        QTest::addColumn<QSize>("results");
        QTest::addColumn<QRect>("expectedHud");
        QTest::addColumn<QRect>("expectedResults");
        QTest::newRow("HUD's bottom 80 above the middle, results 10 below")
            << QRect(0, 0, 1280, 800) << QSize(420, 64) << QSize(420, 116)
            << QRect(430, 256, 420, 64) << QRect(430, 330, 420, 116);
        QTest::newRow("a second screen right of the first, below a panel")
            << QRect(1920, 30, 1280, 770) << QSize(420, 100) << QSize(420, 52)
            << QRect(2350, 235, 420, 100) << QRect(2350, 345, 420, 52);
        QTest::newRow("an odd width centres the panel's pixels")
            << QRect(0, 0, 1001, 800) << QSize(420, 64) << QSize(420, 116)
            << QRect(291, 256, 420, 64) << QRect(291, 330, 420, 116);
        QTest::newRow("a HUD taller than the top half starts at the area's top")
            << QRect(0, 20, 800, 600) << QSize(420, 300) << QSize(420, 116)
            << QRect(190, 20, 420, 300) << QRect(190, 330, 420, 116);
    }
    void layout()
    {
        QFETCH(QRect, area);
        QFETCH(QSize, hud);
        QFETCH(QSize, results);
        QFETCH(QRect, expectedHud);
        QFETCH(QRect, expectedResults);
        const PanelGeometry geometry = layoutPanels(area, hud, results, 80, 10);
        QCOMPARE(geometry.hud, expectedHud);
        QCOMPARE(geometry.results, expectedResults);
        QCOMPARE(geometry.results.left(), geometry.hud.left());
        QCOMPARE(geometry.results.top() - geometry.hud.bottom() - 1, 10);
    }

    // On X11 a panel is drawn whole when Qt hears it was mapped; the Expose events of that same
    // map add a second frame of the same pixels and are left out. Any other Expose goes on.
    void exposeOfAPanelsOwnMapIsLeftOut_data()
    {
        QTest::addColumn<QString>("events"); // "map" or "expose", the window, the sequence
        QTest::addColumn<bool>("exposeLeftOut"); // the last event's answer

        QTest::newRow("the map's own expose") << u"map panel 10, expose panel 10"_s << true;
        QTest::newRow("a later expose") << u"map panel 10, expose panel 11"_s << false;
        QTest::newRow("another window's") << u"map panel 10, expose other 10"_s << false;
        QTest::newRow("a window not watched") << u"map other 10, expose other 10"_s << false;
        QTest::newRow("no map seen") << u"expose panel 0"_s << false;
        QTest::newRow("mapped again") << u"map panel 10, map panel 20, expose panel 10"_s << false;
    }

    void exposeOfAPanelsOwnMapIsLeftOut()
    {
        QFETCH(QString, events);
        QFETCH(bool, exposeLeftOut);
        QWidget panel, other;
        MapExposeFilter filter;
        filter.watch(panel);
        bool leftOut = false;
        for (const QString &event : events.split(u", "_s)) {
            const QStringList parts = event.split(u' ');
            QWidget &window = parts[1] == u"panel" ? panel : other;
            leftOut = filter.nativeEventFilter("xcb_generic_event_t",
                xcbEvent(parts[0] == u"map", std::uint32_t(window.winId()), parts[2].toUInt())
                    .data(),
                nullptr);
            QVERIFY2(!leftOut || parts[0] == u"expose", qPrintable(event)); // maps always go on
        }
        QCOMPARE(leftOut, exposeLeftOut);
        QVERIFY(!filter.nativeEventFilter("windows_generic_MSG", nullptr, nullptr));
    }

    // The build's choice is the one CMake made, and off Wayland the panels are windows.
    void windowsOffWayland()
    {
        QCOMPARE(layershell::isBuilt(), RUNEL_HAVE_LAYER_SHELL);
        QVERIFY(!layershell::compositorOffers());
        QCOMPARE(makePanelPlacement()->backend(), PanelBackend::window);
    }
};

QTEST_MAIN(TestDesktopServices)
#include "tst_desktop_services.moc"
