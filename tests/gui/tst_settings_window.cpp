#include "TestEnvironment.h"
#include "gui/settings/AdvancedSettingsView.h"
#include "gui/settings/GeneralSettingsView.h"
#include "gui/settings/SettingsForm.h"
#include "gui/settings/SettingsRows.h"
#include "gui/settings/ShortcutsView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>

using namespace runel;
using namespace runel::gui;
using namespace Qt::StringLiterals;
using Tab = SettingsWindow::SettingsTab;

// The settings window's General, Shortcuts and Advanced tabs driven like a user would, on a real
// settings file, and pictures of every tab.
class TestSettingsWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsStack> m_stack;

    SettingsWindow &window() { return *m_stack->window; }
    ConfigManager &config() { return *m_stack->hud.config; }
    GeneralSettingsView &general() { return *window().general(); }
    ShortcutsView &shortcuts() { return *window().shortcuts(); }

    DelaySliderRow *slider(const QString &name)
    {
        if (name == u"script")
            return general().scriptDelayRow();
        if (name == u"results")
            return general().resultsDelayRow();
        return name == u"autorun" ? window().advanced()->autorunDelayRow() : nullptr;
    }
    SoundPickerRow *sound(const QString &name)
    {
        return name == u"failure"   ? general().failureSoundRow()
            : name == u"background" ? general().backgroundSuccessSoundRow()
                                    : general().successSoundRow();
    }
    void keys(QWidget *widget, const QList<int> &presses)
    {
        for (int key : presses)
            QTest::keyClick(widget, Qt::Key(key));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setPalette(themePalette(false));
        if (qEnvironmentVariable("RUNEL_PICTURE_FONT") == u"large") {
            QFont font = QApplication::font();
            font.setPointSizeF(font.pointSizeF() * 1.6);
            QApplication::setFont(font);
        }
    }

    void init()
    {
        m_stack = std::make_unique<SettingsStack>(QList<std::pair<QString, QByteArray>> {
            { u"alpha.sh"_s, "#!/bin/bash\n" },
            { u"web/open site.sh"_s, "#!/bin/bash\n# @runel.lable Open\n# @runel.pinned yes\n" } });
        config().setResultsVisibility(ResultsVisibility::delayed);
        config().setAutorunEnabled(true);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }
    void cleanup() { m_stack.reset(); }

    // One input on the General or Advanced tab: what the control then shows (a sound row: what it
    // played) and what the settings file holds, the home written as $HOME.
    void generalInputs_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QList<int>>("presses");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("stored");
        const int home = Qt::Key_Home, end = Qt::Key_End, right = Qt::Key_Right,
                  left = Qt::Key_Left, pageUp = Qt::Key_PageUp, down = Qt::Key_Down;
        const auto row = [](const char *name, const char *control, QList<int> presses,
                             const char *shown, const char *key, const char *stored) {
            QTest::newRow(name) << QString::fromUtf8(control) << presses << QString::fromUtf8(shown)
                                << QByteArray(key) << QString::fromUtf8(stored);
        };
        row("no step below the low end", "script", { home, left, left }, "0.3s", "scriptDelay",
            "0.3");
        row("one step is a tenth", "results", { home, right }, "0.4s", "resultListDelay", "0.4");
        row("no step above the high end", "autorun", { end, right }, "3.0s", "autorunDelay", "3");
        row("a page is half a second", "autorun", { home, pageUp }, "0.8s", "autorunDelay", "0.8");
        // Failure starts at "Default", the two success rows at "None" and "Default".
        row("None plays nothing", "failure", { home }, "", "failureSound", "None");
        row("Default in Failure plays the failure sound", "failure", { home, down }, "dialog-error",
            "failureSound", "Default");
        row("Default in Success plays the success sound", "success", { down }, "complete",
            "successSound", "Default");
        row("a theme sound plays itself", "background", { down }, "bell", "backgroundSuccessSound",
            "bell");
        row("cancelling the folder chooser keeps the folder", "folder", { Qt::Key_Escape },
            "$HOME/scripts", "scriptsDir", "$HOME/scripts");
        row("the chosen folder is stored under ~", "folder", { Qt::Key_Return }, "$HOME/other",
            "scriptsDir", "~/other");
    }
    void generalInputs()
    {
        QFETCH(QString, control);
        QFETCH(QList<int>, presses);
        QFETCH(QByteArray, key);
        QString shown;
        if (control == u"folder") {
            general().selectFolderButton()->click();
            QFileDialog *chooser = general().folderChooser();
            QVERIFY(chooser);
            QCOMPARE(chooser->labelText(QFileDialog::Accept), u"Select"_s);
            QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
            const QString other = m_stack->hud.home.file(u"other"_s);
            QDir().mkpath(other);
            chooser->selectFile(other);
            keys(chooser, presses);
            shown = general().scriptsFolderLabel()->fullText();
            QCOMPARE(config().scriptsDir(), shown);
        } else if (DelaySliderRow *row = slider(control)) {
            keys(row->slider(), presses);
            shown = row->valueText();
        } else {
            keys(sound(control)->picker(), presses);
            shown = m_stack->services.sounds.join(u',');
        }
        QTEST(shown.replace(QDir::homePath(), u"$HOME"_s), "shown");
        const nlohmann::json value = m_stack->stored(key.constData());
        QString stored = value.is_string() ? QString::fromStdString(value.get<std::string>())
                                           : QString::number(value.get<double>());
        QTEST(stored.replace(QDir::homePath(), u"$HOME"_s), "stored");
    }

    void rowsShownOnlyWithTheirSetting()
    {
        config().setResultsDelay(1.7);
        config().setAutorunDelay(2.2);
        QComboBox *showResults = general().showResultsPicker();
        QVERIFY(slider(u"results"_s)->isVisible());
        keys(showResults, { Qt::Key_End });
        QCOMPARE(m_stack->stored("resultListVisibility"), "never");
        QVERIFY(!slider(u"results"_s)->isVisible());
        keys(showResults, { Qt::Key_Home });
        QCOMPARE(m_stack->stored("resultListVisibility"), "immediately");
        QVERIFY(!slider(u"results"_s)->isVisible());
        keys(showResults, { Qt::Key_Down });
        QVERIFY(slider(u"results"_s)->isVisible());
        QCOMPARE(m_stack->stored("resultListDelay").get<double>(), 1.7);

        window().setCurrentTab(Tab::advanced);
        window().advanced()->autorunToggle()->click();
        QCOMPARE(m_stack->stored("autorunEnabled"), false);
        QVERIFY(!slider(u"autorun"_s)->isVisible());
        window().advanced()->autorunToggle()->click();
        QVERIFY(slider(u"autorun"_s)->isVisible());
        QCOMPARE(m_stack->stored("autorunDelay").get<double>(), 2.2);
        window().advanced()->rankByUseToggle()->click();
        QCOMPARE(m_stack->stored("rankByUse"), true);
        QVERIFY(config().rankByUse());
    }

    void shortcutsAddEditDelete()
    {
        window().setCurrentTab(Tab::shortcuts);
        QVERIFY(shortcuts().emptyRow() && shortcuts().emptyRow()->isVisible());
        shortcuts().addButton()->click();
        shortcuts().addButton()->click();
        QCOMPARE(shortcuts().rows().size(), 2);
        QCOMPARE(m_stack->stored("shortcuts").size(), 2u);
        const auto names = [this] {
            QStringList list;
            for (const ShortcutsView::Row &row : shortcuts().rows())
                list.append(row.recorder->objectName());
            return list;
        };
        const QStringList first = names();
        QVERIFY(first[0].startsWith(u"shortcut-"_s) && first[0] != first[1]);
        QCOMPARE(first[0], first[0].toUpper().replace(u"SHORTCUT-"_s, u"shortcut-"_s));

        // Every keystroke is stored; the field keeps its focus while the list is rewritten.
        QLineEdit *field = shortcuts().rows()[0].keySequence;
        field->setFocus();
        QTest::keyClick(field, 'g');
        QCOMPARE(m_stack->stored("shortcuts")[0]["keySequence"], "g");
        QTest::keyClicks(field, u"S "_s);
        QCOMPARE(m_stack->stored("shortcuts")[0]["keySequence"], "gS ");
        QCOMPARE(shortcuts().rows()[0].keySequence, field);

        // Deleting resets the hot key first; a shortcut added afterwards has a fresh name.
        shortcuts().rows()[0].remove->click();
        QCOMPARE(m_stack->resetNames, QStringList { first[0] });
        QCOMPARE(names(), QStringList { first[1] });
        shortcuts().rows()[0].remove->click();
        QVERIFY(shortcuts().emptyRow());
        QCOMPARE(m_stack->stored("shortcuts").size(), 0u);
        shortcuts().addButton()->click();
        QVERIFY(!first.contains(names().constFirst()));
    }

    void changesMadeElsewhereShowUp()
    {
        config().setScriptDelay(2.0);
        config().setResultsVisibility(ResultsVisibility::never);
        config().setFailureSound(u"bell"_s);
        config().setSuccessSound(u"Blow"_s); // an id the menu does not list is kept
        config().setEnhanceLabels(false);
        config().setShortcuts({ { QUuid::createUuid(), u"ab"_s } });
        QCOMPARE(slider(u"script"_s)->valueText(), u"2.0s"_s);
        QCOMPARE(slider(u"script"_s)->slider()->value(), 20);
        QCOMPARE(general().showResultsPicker()->currentText(), u"Never"_s);
        QCOMPARE(sound(u"failure"_s)->picker()->currentText(), u"Bell"_s);
        QCOMPARE(sound(u"success"_s)->picker()->currentText(), u"Blow"_s);
        QVERIFY(!general().enhanceLabelsToggle()->isChecked());
        QCOMPARE(shortcuts().rows().constFirst().keySequence->text(), u"ab"_s);
        QVERIFY(m_stack->services.sounds.isEmpty());
    }

    void aFailedSaveIsShownUntilOneSucceeds()
    {
        // A folder where the file should be: no save can replace it, not even as root.
        const QString path = SettingsFile::defaultPath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Settings not saved"_s));
        keys(slider(u"script"_s)->slider(), { Qt::Key_End });
        QVERIFY2(
            window().problem().startsWith(u"Settings not saved"_s), qPrintable(window().problem()));
        QVERIFY(QDir(path).removeRecursively());
        keys(slider(u"script"_s)->slider(), { Qt::Key_Home });
        QVERIFY(window().problem().isEmpty());
        QCOMPARE(m_stack->stored("scriptDelay").get<double>(), 0.3);
    }

    // A change that cannot be saved does not happen: the control shows what is stored, and a
    // later save does not store it after all.
    void aControlWhoseSaveFailedShowsWhatIsStored_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("a switch") << u"enhance"_s << QByteArray("enhanceLabels");
        QTest::newRow("a slider") << u"script"_s << QByteArray("scriptDelay");
        QTest::newRow("a sound") << u"failure"_s << QByteArray("failureSound");
        QTest::newRow("the results menu") << u"results"_s << QByteArray("resultListVisibility");
        QTest::newRow("a switch of the Advanced tab")
            << u"autorun"_s << QByteArray("autorunEnabled");
        QTest::newRow("ranking by use") << u"rankByUse"_s << QByteArray("rankByUse");
        QTest::newRow("adding a shortcut") << u"shortcuts"_s << QByteArray("shortcuts");
    }
    void aControlWhoseSaveFailedShowsWhatIsStored()
    {
        QFETCH(QString, control);
        QFETCH(QByteArray, key);
        const auto shown = [&]() -> QString {
            if (control == u"enhance")
                return general().enhanceLabelsToggle()->isChecked() ? u"on"_s : u"off"_s;
            if (control == u"autorun")
                return window().advanced()->autorunToggle()->isChecked() ? u"on"_s : u"off"_s;
            if (control == u"rankByUse")
                return window().advanced()->rankByUseToggle()->isChecked() ? u"on"_s : u"off"_s;
            if (control == u"results")
                return general().showResultsPicker()->currentText();
            if (control == u"shortcuts")
                return QString::number(shortcuts().rows().size());
            if (DelaySliderRow *row = slider(control))
                return row->valueText() + u" at "_s + QString::number(row->slider()->value());
            return sound(control)->picker()->currentText();
        };
        if (control == u"autorun" || control == u"rankByUse")
            window().setCurrentTab(Tab::advanced);
        if (control == u"shortcuts")
            window().setCurrentTab(Tab::shortcuts);
        const QString before = shown();
        const nlohmann::json stored = m_stack->stored(key.constData());

        // A folder where the file should be: no save can replace it, not even as root.
        const QString path = SettingsFile::defaultPath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Settings not saved"_s));
        if (control == u"enhance")
            general().enhanceLabelsToggle()->click();
        else if (control == u"autorun")
            window().advanced()->autorunToggle()->click();
        else if (control == u"rankByUse")
            window().advanced()->rankByUseToggle()->click();
        else if (control == u"results")
            keys(general().showResultsPicker(), { Qt::Key_End });
        else if (control == u"shortcuts")
            shortcuts().addButton()->click();
        else if (DelaySliderRow *row = slider(control))
            keys(row->slider(), { Qt::Key_End });
        else
            keys(sound(control)->picker(), { Qt::Key_Home });
        QCOMPARE(shown(), before);
        QVERIFY(window().problem().startsWith(u"Settings not saved"_s));

        QVERIFY(QDir(path).removeRecursively());
        config().setSuccessSound(u"bell"_s);
        QCOMPARE(m_stack->stored(key.constData()), stored);
    }

    // settings.json turning unreadable while the window is open shows at once, and goes once the
    // file is readable again, with no save in between.
    void aFileBrokenWhileOpenIsShownUntilFixed()
    {
        config().watchStore();
        const QString path = SettingsFile::defaultPath();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray good = file.readAll();
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"was changed and cannot be read"_s));
        writeFile(path, "{\"scriptDelay\": ");
        QTRY_VERIFY(window().problem().contains(u"cannot be read"_s));
        writeFile(path, good);
        QTRY_VERIFY(window().problem().isEmpty());
    }

    // The toggle writes and removes the entry; what is on disk wins when the tab shows again.
    void launchAtLoginToggle()
    {
        QCheckBox *toggle = general().launchAtLoginToggle();
        const QString entry = m_stack->launchAtLogin.entryPath();
        toggle->click();
        QVERIFY(toggle->isChecked() && QFile::exists(entry));
        toggle->click();
        QVERIFY(!toggle->isChecked() && !QFile::exists(entry));
        writeFile(entry, "[Desktop Entry]\nExec=runel\n");
        window().setCurrentTab(Tab::about);
        window().setCurrentTab(Tab::general);
        QVERIFY(toggle->isChecked());

        // On a full disk the box goes back and says why; the next change that works clears it.
        QVERIFY(QFile::remove(entry));
        window().setCurrentTab(Tab::about);
        window().setCurrentTab(Tab::general);
        QVERIFY(!toggle->isChecked());
        {
            FileSizeLimit full(0);
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"could not be turned on"_s));
            toggle->click();
        }
        QVERIFY(!toggle->isChecked() && !QFile::exists(entry));
        QVERIFY2(general().launchAtLoginError().contains(u"File too large"_s),
            qPrintable(general().launchAtLoginError()));
        toggle->click();
        QVERIFY(toggle->isChecked() && general().launchAtLoginError().isEmpty());
    }

    // Pictures of every tab in both themes, for people to look at.
    void pictures()
    {
        config().setShortcuts({ { QUuid::createUuid(), u"gs"_s }, { QUuid::createUuid(), {} } });
        QTRY_VERIFY(!m_stack->hud.log->isLoading());
        const int scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 200 : 100;
        const QString font = qEnvironmentVariable("RUNEL_PICTURE_FONT", u"normal"_s);
        const QString folder = QStringLiteral(RUNEL_SETTINGS_PICTURES);
        QDir().mkpath(folder);
        inBothThemes([&](const QString &theme) {
            for (int tab = 0; tab < window().tabs()->count(); ++tab) {
                window().tabs()->setCurrentIndex(tab);
                QApplication::processEvents();
                QVERIFY(window().grab().save(
                    u"%1/%2-%3-%4-%5.png"_s
                        .arg(folder, window().tabs()->tabText(tab).toLower(), theme, font)
                        .arg(scale)));
            }
        });
        // Every tab's title fits: the window is as wide as the tab bar wants.
        QVERIFY(window().width() >= window().tabs()->tabBar()->sizeHint().width());
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
