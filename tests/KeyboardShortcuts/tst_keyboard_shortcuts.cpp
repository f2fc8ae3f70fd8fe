#include "FakeHotKeyBackend.h"
#include "KeyboardShortcutsTesting.h"
#include "TestEnvironment.h"

#include "KeyboardShortcuts/KeyTable.h"
#include "KeyboardShortcuts/Service.h"
#include "core/settings/SettingsFile.h"
#include "gui/app/SettingsShortcutStorage.h"

#include <QSignalSpy>

using namespace runel::KeyboardShortcuts;
using namespace Qt::StringLiterals;
using json = nlohmann::json;

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

namespace {

QString describe(const std::optional<Shortcut> &shortcut)
{
    return shortcut ? shortcut->description() : u"none"_s;
}

QString describe(const std::vector<Binding> &bindings)
{
    QStringList parts;
    for (const Binding &binding : bindings)
        parts << binding.shortcut.description() + u'=' + binding.names.join(u',')
                + (binding.holdsKeys ? u" holding"_s : QString());
    return parts.join(u" | "_s);
}

} // namespace

class TestKeyboardShortcuts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every key of the table: Carbon code, Qt key, keysym and name lead to one another.
    void keyTableRoundTrips_data()
    {
        QTest::addColumn<int>("index");
        const auto entries = KeyTable::entries();
        for (int i = 0; i < int(entries.size()); ++i)
            QTest::newRow(QString::fromUtf16(entries[i].name).toUtf8().constData()) << i;
    }
    void keyTableRoundTrips()
    {
        QFETCH(int, index);
        const KeyEntry &entry = KeyTable::entries()[index];
        const Shortcut shortcut { entry.carbonKeyCode,
            CarbonModifier::control | CarbonModifier::option };
        QCOMPARE(KeyTable::byCarbonKeyCode(entry.carbonKeyCode), &entry);
        QCOMPARE(KeyTable::byKeysym(entry.keysym), &entry);
        QCOMPARE(Shortcut::fromQt(entry.qtKey, shortcut.qtModifiers()), shortcut);
        QCOMPARE(Shortcut::fromJson(shortcut.toJson()), shortcut);
        QCOMPARE(shortcutFrom(shortcut.description()), shortcut);
        QCOMPARE(shortcut.description(), u"Ctrl+Alt+"_s + QString::fromUtf16(entry.name));
    }

    // What Qt reports for a key press, as the combination people read.
    void fromQtKeyEvents_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("description");
        const auto row = [](const char *name, int key, Qt::KeyboardModifiers modifiers,
                             const QString &description) {
            QTest::newRow(name) << key << modifiers << description;
        };
        row("every modifier", Qt::Key_K,
            Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier,
            u"Super+Ctrl+Alt+Shift+K"_s);
        row("shifted symbol is its key", Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier,
            u"Ctrl+Shift+1"_s);
        row("Shift+Tab reported as backtab", Qt::Key_Backtab, Qt::ShiftModifier | Qt::AltModifier,
            u"Alt+Shift+Tab"_s);
        row("keypad plus is not shifted equals", Qt::Key_Plus, Qt::KeypadModifier | Qt::AltModifier,
            u"Alt+Num+"_s);
        row("shifted equals", Qt::Key_Plus, Qt::ShiftModifier | Qt::AltModifier, u"Alt+Shift+="_s);
        row("a key outside the table", Qt::Key_Eacute, Qt::ControlModifier, u"none"_s);
        row("a lone modifier", Qt::Key_Control, Qt::ControlModifier, u"none"_s);
    }
    void fromQtKeyEvents()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QTEST(describe(Shortcut::fromQt(key, modifiers)), "description");
    }

    // The stored value of a name, as settings files hold it (the row's name).
    void storedForms_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shortcut");
        const std::string stringForm
            = json(json { { "carbonKeyCode", 37 }, { "carbonModifiers", 768 } }.dump()).dump();
        const std::pair<const char *, const char *> rows[] = {
            { R"({"carbonKeyCode": 37, "carbonModifiers": 768})", "Super+Shift+L" },
            { stringForm.c_str(), "Super+Shift+L" },
            { "", "none" },
            { "false", "none" },
            { R"("Super+L")", "none" }, // not JSON inside the string: no exception
            { R"({"carbonKeyCode": 99999999999, "carbonModifiers": 768})", "none" },
        };
        for (const auto &[stored, shortcut] : rows)
            QTest::newRow(*stored ? stored : "absent")
                << QByteArray(stored) << QString::fromUtf8(shortcut);
    }
    void storedForms()
    {
        QFETCH(QByteArray, stored);
        MapShortcutStorage storage;
        if (!stored.isEmpty())
            storage.values[u"KeyboardShortcuts_x"_s] = json::parse(stored.toStdString());
        Launch launch(storage);
        QTEST(describe(launch.service->getShortcut(Name { u"x"_s, {} })), "shortcut");
    }

    // What settings.json holds for a name after steps across launches of the app. "launch"
    // starts the app again on the same file.
    void storedValueAfter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray superShiftL = R"({"carbonKeyCode":37,"carbonModifiers":768})";
        const QByteArray ctrlAltT = R"({"carbonKeyCode":17,"carbonModifiers":6144})";
        const auto row = [](const char *rowName, const QString &name, const QString &steps,
                             const QByteArray &stored) {
            QTest::newRow(rowName) << name << steps.split(u';', Qt::SkipEmptyParts) << stored;
        };
        row("first launch stores the default", u"toggle"_s, u""_s, superShiftL);
        row("a later launch keeps the user's change", u"toggle"_s, u"set;launch"_s, ctrlAltT);
        row("clearing keeps the default away", u"toggle"_s, u"clear;launch;launch"_s, "false");
        row("reset restores the default", u"toggle"_s, u"clear;launch;reset"_s, superShiftL);
        row("a name without default starts unbound", u"user"_s, u"launch"_s, "absent");
        row("reset of a name without default removes it", u"user"_s, u"set;launch;reset"_s,
            "absent");
    }
    void storedValueAfter()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, steps);
        TestHome home;
        const Name subject = name == toggle.rawValue ? toggle : Name { name, {} };
        // One launch of the app: its settings file, the hot keys' storage on it, the service.
        struct App {
            runel::SettingsFile file { runel::SettingsFile::defaultPath() };
            runel::gui::SettingsShortcutStorage storage { file };
            Launch launch { storage };
        };
        std::optional<App> app(std::in_place);
        for (const QString &step : std::as_const(steps)) {
            Service &service = *app->launch.service;
            if (step == u"launch") {
                app.reset();
                app.emplace();
            } else if (step == u"set") {
                QVERIFY(service.setShortcut(shortcutFrom(u"Ctrl+Alt+T"_s), subject));
            } else if (step == u"clear") {
                QVERIFY(service.setShortcut(std::nullopt, subject));
            } else if (step == u"reset") {
                service.reset({ Name { name, {} } });
            }
        }
        const runel::SettingsFile onDisk(runel::SettingsFile::defaultPath());
        const json &value = onDisk.value(subject.storageKey().toStdString());
        QTEST(value.is_null() ? QByteArray("absent") : QByteArray::fromStdString(value.dump()),
            "stored");
    }

    // Handlers, presses and modes. Steps: "set NAME KEYS", "on NAME" (a key-down handler that
    // logs NAME), "hold NAME" (the same, holding the keys typed after the press), "up NAME"
    // (key up, logs NAME^), "gone NAME" (a handler whose context is
    // deleted), "press KEYS" (the system's event; fires only when held), "name NAME" (the desktop
    // activates a name), "menu open|closed", "match KEYS" (a key event an open menu saw; logs
    // "-" when not taken), "suspend", "resume", "disable", "removeAll".
    void dispatch_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("runs");
        QTest::addColumn<QString>("held");
        QTest::newRow("two names on one combination share it and both fire")
            << u"set a Ctrl+Alt+T; set b Ctrl+Alt+T; on b; on a; on b; up a; press Ctrl+Alt+T"_s
            << u"b b a a^"_s << u"Ctrl+Alt+T=b,a"_s;
        QTest::newRow("a changed combination fires at once, the old one no more")
            << u"on toggle; set toggle Ctrl+Alt+T; press Super+Shift+L; press Ctrl+Alt+T"_s
            << u"toggle"_s << u"Ctrl+Alt+T=toggle"_s;
        QTest::newRow("suspended while recording: nothing held, nothing runs; then held again")
            << u"on toggle; suspend; press Super+Shift+L; name toggle; resume; press Super+Shift+L"_s
            << u"toggle"_s << u"Super+Shift+L=toggle"_s;
        QTest::newRow("disabled holds nothing")
            << u"on toggle; disable; match Super+Shift+L"_s << u"-"_s << u""_s;
        QTest::newRow("an open menu's key events are matched instead of grabs")
            << u"on toggle; up toggle; menu open; press Super+Shift+L; match Super+Shift+L; "
               "match Ctrl+Alt+T"_s
            << u"toggle toggle^ -"_s << u""_s;
        QTest::newRow("a closed menu holds again and matches no more")
            << u"on toggle; menu open; menu closed; match Super+Shift+L; press Super+Shift+L"_s
            << u"- toggle"_s << u"Super+Shift+L=toggle"_s;
        QTest::newRow("a handler whose context is gone is skipped")
            << u"gone toggle; on toggle; press Super+Shift+L"_s << u"toggle"_s
            << u"Super+Shift+L=toggle"_s;
        QTest::newRow("a cleared name lets go")
            << u"on toggle; clear toggle; press Super+Shift+L"_s << u""_s << u""_s;
        QTest::newRow("one holding name makes its shared combination hold")
            << u"set a Ctrl+Alt+T; set b Ctrl+Alt+T; on a; hold b; press Ctrl+Alt+T"_s << u"a b"_s
            << u"Ctrl+Alt+T=a,b holding"_s;
        QTest::newRow("re-registering without holding lets the hold go")
            << u"hold toggle; removeAll; on toggle; press Super+Shift+L"_s << u"toggle"_s
            << u"Super+Shift+L=toggle"_s;
        QTest::newRow("the desktop activating a name runs its handlers")
            << u"on a; on toggle; name a"_s << u"a"_s << u"Super+Shift+L=toggle"_s;
    }
    void dispatch()
    {
        QFETCH(QString, steps);
        QFETCH(QString, held);
        MapShortcutStorage storage;
        Launch launch(storage);
        Service &service = *launch.service;
        QStringList log;
        for (const QString &step : steps.split(u';')) {
            const QStringList words = step.trimmed().split(u' ');
            const QString verb = words[0];
            const QString argument = words.value(1);
            const Name name { argument,
                argument == toggle.rawValue ? toggle.initialShortcut : std::nullopt };
            service.flush();
            if (verb == u"set")
                service.setShortcut(shortcutFrom(words[2]), name);
            else if (verb == u"clear")
                service.setShortcut(std::nullopt, name);
            else if (verb == u"on")
                service.onKeyDown(name, this, [&log, argument] { log << argument; });
            else if (verb == u"hold")
                service.onKeyDown(
                    name, this, [&log, argument] { log << argument; }, Hold::untilFocused);
            else if (verb == u"up")
                service.onKeyUp(name, this, [&log, argument] { log << argument + u'^'; });
            else if (verb == u"gone") {
                QObject context;
                service.onKeyDown(name, &context, [&log] { log << u"gone"_s; });
            } else if (verb == u"press")
                launch.backend->press(shortcutFrom(argument));
            else if (verb == u"name")
                launch.backend->pressName(argument);
            else if (verb == u"menu")
                service.hotKeyCenter().setMenuOpen(argument == u"open");
            else if (verb == u"match") {
                const Shortcut shortcut = shortcutFrom(argument);
                const bool taken = service.hotKeyCenter().matchKeyEvent(shortcut, true);
                QCOMPARE(service.hotKeyCenter().matchKeyEvent(shortcut, false), taken);
                if (!taken)
                    log << u"-"_s;
            } else if (verb == u"suspend" || verb == u"resume")
                service.setSuspended(verb == u"suspend");
            else if (verb == u"disable")
                service.setEnabled(false);
            else if (verb == u"removeAll")
                service.removeAllHandlers();
            else
                QFAIL(qPrintable(u"unknown step "_s + step));
        }
        service.flush();
        QTEST(log.join(u' '), "runs");
        QCOMPARE(describe(launch.backend->held()), held);
    }
};

QTEST_GUILESS_MAIN(TestKeyboardShortcuts)
#include "tst_keyboard_shortcuts.moc"
