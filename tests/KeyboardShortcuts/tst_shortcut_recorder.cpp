#include "FakeHotKeyBackend.h"
#include "KeyboardShortcutsTesting.h"
#include "TestEnvironment.h"

#include "KeyboardShortcuts/Recorder/MenuKeyWatcher.h"
#include "KeyboardShortcuts/Recorder/Recorder.h"
#include "KeyboardShortcuts/Service.h"
#include "gui/app/KeyMonitor.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

using namespace runel::KeyboardShortcuts;
using namespace Qt::StringLiterals;

namespace {

// A settings window's worth: the service on a fake back end, a recorder for one name, another
// field to move the focus to, and the app's own keys reserved as the app reserves them.
struct Window {
    explicit Window(const QString &name, HotKeyBackend::Kind kind = HotKeyBackend::Kind::x11)
        : launch(storage, kind)
    {
        backend->heldElsewhere.insert(shortcutFrom(u"Ctrl+Alt+H"_s));
        backend->triggers.insert(u"portal"_s, u"Ctrl+Alt+Space"_s);
        service->setShortcut(shortcutFrom(u"Ctrl+Alt+O"_s), Name { u"other"_s, {} });
        // "taken" is bound, at start, to what another program holds.
        service->setShortcut(shortcutFrom(u"Ctrl+Alt+H"_s), Name { u"taken"_s, {} });
        service->onKeyDown(Name { u"taken"_s, {} }, &widget, [] {});
        service->flush();
        recorder = new Recorder(*service, name == toggle.rawValue ? toggle : Name { name, {} });
        std::vector<Recorder::ReservedShortcut> reserved;
        for (const auto &key : runel::gui::KeyMonitor::keys()) {
            reserved.push_back({ *Shortcut::fromQt(int(key.combination.key()),
                                     key.combination.keyboardModifiers()),
                QString::fromUtf16(key.title) });
        }
        recorder->setReservedShortcuts(std::move(reserved));
        recorder->setNameTitles([](const QString &raw) { return u"“%1”"_s.arg(raw); });
        auto *layout = new QVBoxLayout(&widget);
        layout->addWidget(recorder);
        layout->addWidget(elsewhere = new QLineEdit(&widget));
        widget.show();
        widget.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&widget));
        field()->setFocus();
    }
    QWidget *field() const { return recorder->focusProxy(); }
    QString stored(const QString &name) const
    {
        const nlohmann::json value = storage.value(u"KeyboardShortcuts_"_s + name);
        return value.is_null()   ? u"absent"_s
            : value.is_boolean() ? u"false"_s
                                 : Shortcut::fromJson(value)->description();
    }

    MapShortcutStorage storage;
    Launch launch;
    FakeHotKeyBackend *backend = launch.backend;
    Service *service = launch.service.get();
    QWidget widget;
    Recorder *recorder;
    QLineEdit *elsewhere;
};

// One step of people at the control: "click", "space", "escape", "clear", "focus away",
// "hold Super" (the key pressed and kept down), or a combination pressed ("Ctrl+Alt+T",
// "Ctrl+Shift+<" as a US layout reports Ctrl+Shift+comma).
void act(Window &window, const QString &step)
{
    QWidget *field = window.field();
    if (step == u"click") {
        QTest::mouseClick(field, Qt::LeftButton);
    } else if (step == u"space") {
        QTest::keyClick(field, Qt::Key_Space);
    } else if (step == u"escape") {
        QTest::keyClick(field, Qt::Key_Escape);
    } else if (step == u"clear") {
        field->findChild<QAction *>()->trigger();
    } else if (step == u"focus away") {
        window.elsewhere->setFocus();
    } else if (step == u"hold Super") {
        QTest::keyPress(field, Qt::Key_Super_L, Qt::MetaModifier);
    } else if (step.endsWith(u"+<")) {
        const Shortcut modifiers = shortcutFrom(step.chopped(2) + u"+A"_s);
        QTest::keyClick(field, Qt::Key_Less, modifiers.qtModifiers() | Qt::ShiftModifier);
    } else {
        const Shortcut shortcut = shortcutFrom(step);
        const KeyEntry *entry = KeyTable::byCarbonKeyCode(shortcut.carbonKeyCode);
        QTest::keyClick(field, Qt::Key(entry->qtKey), shortcut.qtModifiers());
    }
}

} // namespace

class TestShortcutRecorder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What the control shows ("text; stored[; recording]"), says (the start of its message) and
    // stores after people's steps ("name: step;step").
    void recording_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *rowName, const QString &steps, const QString &shows,
                             const QString &message = {}) {
            QTest::newRow(rowName) << steps << shows << message;
        };
        row("unbound shows the placeholder", u"user"_s, u"Record Shortcut; absent"_s);
        row("Space starts recording", u"toggle: space"_s,
            u"Press Shortcut; Super+Shift+L; recording"_s);
        row("Escape ends and changes nothing", u"toggle: click;escape"_s,
            u"Super+Shift+L; Super+Shift+L"_s);
        row("a plain letter is refused and recording goes on", u"user: click;K"_s,
            u"Press Shortcut; absent; recording"_s, u"Add Ctrl, Alt or Super"_s);
        row("Shift does not count", u"user: click;Shift+K;Super+K"_s, u"Super+K; Super+K"_s);
        row("a function key alone is taken", u"user: click;F5"_s, u"F5; F5"_s);
        row("Ctrl+Shift+comma as typed is blocked", u"user: click;Ctrl+<"_s,
            u"Press Shortcut; absent; recording"_s,
            u"Ctrl+Shift+, is Runel's own key for Open Scripts Folder"_s);
        row("a key held by another program is refused", u"user: click;Ctrl+Alt+H"_s,
            u"Press Shortcut; absent; recording"_s, u"Ctrl+Alt+H is taken by another program"_s);
        row("a key of another name is shared and says so", u"user: click;Ctrl+Alt+O"_s,
            u"Ctrl+Alt+O; Ctrl+Alt+O"_s, u"Also the shortcut of “other”"_s);
        row("the clear button stores none", u"toggle: clear"_s, u"Record Shortcut; false"_s);
        row("losing the focus ends recording", u"user: click;focus away"_s,
            u"Record Shortcut; absent"_s);
        row("a stored key another program holds says so", u"taken"_s, u"Ctrl+Alt+H; Ctrl+Alt+H"_s,
            u"Ctrl+Alt+H is taken by another program"_s);
    }
    void recording()
    {
        QFETCH(QString, steps);
        QFETCH(QString, message);
        const QString name = steps.section(u':', 0, 0);
        steps = steps.section(u':', 1);
        Window window(name);
        QSignalSpy told(window.service, &Service::recorderActiveStatusDidChange);
        for (const QString &step : steps.split(u';', Qt::SkipEmptyParts))
            act(window, step.trimmed());
        const bool recording = window.recorder->isRecording();
        QTEST(window.recorder->text() + u"; "_s + window.stored(name)
                + (recording ? u"; recording"_s : QString()),
            "shows");
        QCOMPARE(window.recorder->message().left(message.size()), message);
        QCOMPARE(window.recorder->message().isEmpty(), message.isEmpty());
        // The hot keys are suspended exactly while recording, and the app's own keys told so.
        QCOMPARE(window.service->isSuspended(), recording);
        QCOMPARE(!told.isEmpty() && told.last().first().toBool(), recording);
    }

    // On the portal the desktop records: a click opens its dialog, the control shows its trigger.
    void portalHandsOverToTheDesktop()
    {
        Window window(u"portal"_s, HotKeyBackend::Kind::portal);
        QCOMPARE(window.recorder->text(), u"Ctrl+Alt+Space"_s);
        act(window, u"click"_s);
        QCOMPARE(window.backend->configureCalls, 1);
        QVERIFY(!window.recorder->isRecording());
        QVERIFY(!window.service->isSuspended());
        window.backend->triggers[u"portal"_s] = u"Super+F2"_s;
        Q_EMIT window.backend->stateChanged();
        QCOMPARE(window.recorder->text(), u"Super+F2"_s);
    }

    // An open menu's key presses run the handlers of a held combination, and only those.
    void anOpenMenuMatchesItsKeys()
    {
        Window window(u"user"_s);
        MenuKeyWatcher watcher(window.service->hotKeyCenter());
        int runs = 0;
        window.service->onKeyDown(toggle, this, [&runs] { ++runs; });
        window.service->flush();
        QMenu menu;
        menu.addAction(u"Quit"_s);
        menu.popup(QPoint(0, 0));
        QTRY_COMPARE(window.service->hotKeyCenter().mode(), HotKeyCenter::Mode::menuOpen);
        QTest::keyClick(&menu, Qt::Key_L, Qt::MetaModifier | Qt::ShiftModifier);
        QTest::keyClick(&menu, Qt::Key_K, Qt::MetaModifier);
        QCOMPARE(runs, 1);
        menu.hide();
        QCOMPARE(window.service->hotKeyCenter().mode(), HotKeyCenter::Mode::normal);
    }

    // Pictures of the control's states, light and dark, for people to look at.
    void pictures()
    {
        const QString folder = QStringLiteral(RUNEL_RECORDER_PICTURES);
        QDir().mkpath(folder);
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s);
        inBothThemes([&](const QString &theme) {
            const auto save = [&](Window &window, const char *state) {
                window.widget.resize(360, window.widget.sizeHint().height());
                QVERIFY(window.widget.grab().save(u"%1/recorder-%2-%3-x%4.png"_s.arg(
                    folder, QLatin1StringView(state), theme, scale)));
            };
            Window bound(u"toggle"_s);
            save(bound, "bound");
            Window unbound(u"user"_s);
            save(unbound, "unbound");
            act(unbound, u"click"_s);
            act(unbound, u"hold Super"_s);
            save(unbound, "modifiers");
            act(unbound, u"Ctrl+Alt+H"_s);
            save(unbound, "refused");
        });
    }
};

QTEST_MAIN(TestShortcutRecorder)
#include "tst_shortcut_recorder.moc"
