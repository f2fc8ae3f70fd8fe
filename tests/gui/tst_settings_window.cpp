#include "TestEnvironment.h"
#include "settings/AdvancedSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsForm.h"
#include "settings/SettingsRows.h"
#include "settings/ShortcutsView.h"

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
        return window().advanced()->autorunDelayRow();
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
        m_stack = std::make_unique<SettingsStack>(
            QList<std::pair<QString, QByteArray>> { { u"alpha.sh"_s, "#!/bin/bash\n" } });
        config().setResultsVisibility(ResultsVisibility::delayed);
        config().setAutorunEnabled(true);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }
    void cleanup() { m_stack.reset(); }

    void delaySliders_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QList<int>>("presses");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<double>("stored");
        const int home = Qt::Key_Home, end = Qt::Key_End, right = Qt::Key_Right,
                  left = Qt::Key_Left, pageUp = Qt::Key_PageUp;
        QTest::newRow("the low end is 0.3s")
            << u"script"_s << QList { home } << u"0.3s"_s << QByteArray("scriptDelay") << 0.3;
        QTest::newRow("no step below the low end") << u"script"_s << QList { home, left, left }
                                                   << u"0.3s"_s << QByteArray("scriptDelay") << 0.3;
        QTest::newRow("one step is a tenth") << u"results"_s << QList { home, right } << u"0.4s"_s
                                             << QByteArray("resultListDelay") << 0.4;
        QTest::newRow("no step above the high end")
            << u"autorun"_s << QList { end, right } << u"3.0s"_s << QByteArray("autorunDelay")
            << 3.0;
        QTest::newRow("a page is half a second") << u"autorun"_s << QList { home, pageUp }
                                                 << u"0.8s"_s << QByteArray("autorunDelay") << 0.8;
    }
    void delaySliders()
    {
        QFETCH(QString, row);
        QFETCH(QList<int>, presses);
        QFETCH(QByteArray, key);
        QFETCH(double, stored);
        keys(slider(row)->slider(), presses);
        QTEST(slider(row)->valueText(), "shown");
        QCOMPARE(m_stack->stored(key.constData()).get<double>(), stored);
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
    }

    void soundPreview_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QList<int>>("presses");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("played");
        const int home = Qt::Key_Home, down = Qt::Key_Down;
        // Failure starts at "Default", the two success rows at "None" and "Default".
        QTest::newRow("None plays nothing")
            << u"failure"_s << QList { home } << u"None"_s << QStringList {};
        QTest::newRow("Default in Failure plays the failure sound")
            << u"failure"_s << QList { home, down } << u"Default"_s
            << QStringList { u"dialog-error"_s };
        QTest::newRow("Default in Success plays the success sound")
            << u"success"_s << QList { down } << u"Default"_s << QStringList { u"complete"_s };
        QTest::newRow("a theme sound plays itself")
            << u"background"_s << QList { down } << u"bell"_s << QStringList { u"bell"_s };
    }
    void soundPreview()
    {
        QFETCH(QString, row);
        QFETCH(QList<int>, presses);
        QFETCH(QString, stored);
        keys(sound(row)->picker(), presses);
        QTEST(m_stack->services.sounds, "played");
        const char *key = row == u"failure" ? "failureSound"
            : row == u"success"             ? "successSound"
                                            : "backgroundSuccessSound";
        QCOMPARE(QString::fromStdString(m_stack->stored(key).get<std::string>()), stored);
    }

    void folderChooser()
    {
        const QString before = config().scriptsDir();
        for (const bool confirm : { false, true }) {
            general().selectFolderButton()->click();
            QFileDialog *chooser = general().folderChooser();
            QVERIFY(chooser);
            QCOMPARE(chooser->labelText(QFileDialog::Accept), u"Select"_s);
            QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
            const QString other = m_stack->hud.home.file(u"other"_s);
            QDir().mkpath(other);
            if (!confirm) {
                chooser->reject();
                QCOMPARE(config().scriptsDir(), before);
                continue;
            }
            chooser->selectFile(other);
            QMetaObject::invokeMethod(chooser, "accept");
            QCOMPARE(config().scriptsDir(), other);
            QCOMPARE(m_stack->stored("scriptsDir"), "~/other");
            QCOMPARE(general().scriptsFolderLabel()->fullText(), other);
        }
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
