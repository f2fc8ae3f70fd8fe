#pragma once

#include "SettingsContext.h"

#include <QWidget>

class QLabel;
class QTabWidget;

namespace runel::gui {

class AboutSettingsView;
class AdvancedSettingsView;
class GeneralSettingsView;
class LogView;
class ScriptHealthView;
class ShortcutsView;

// The settings window: six tabs, every control writing its setting at once. A save that fails
// is shown at the top of the window until a later one succeeds, and so is a settings file that
// turns unreadable while the window is open, until it is readable again. Main thread.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    enum class SettingsTab { general, shortcuts, scripts, log, advanced, about };

    // context's references must outlive the window.
    explicit SettingsWindow(SettingsContext context, QWidget *parent = nullptr);

    // Shows the window, or brings it to the front when it is open.
    void present();

    QTabWidget *tabs() const { return m_tabs; }
    void setCurrentTab(SettingsTab tab);
    // The problem shown at the top of the window; empty when none is.
    QString problem() const;

    GeneralSettingsView *general() const { return m_general; }
    ShortcutsView *shortcuts() const { return m_shortcuts; }
    ScriptHealthView *scripts() const { return m_scripts; }
    LogView *log() const { return m_log; }
    AdvancedSettingsView *advanced() const { return m_advanced; }
    AboutSettingsView *about() const { return m_about; }

    // 520 by 440 for a 13-pixel font, larger with a larger one.
    static QSize preferredSize(const QFont &font);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showSaveResult();
    void updateTabIcons();

    SettingsContext m_context;
    QLabel *m_problem;
    QTabWidget *m_tabs;
    GeneralSettingsView *m_general;
    ShortcutsView *m_shortcuts;
    ScriptHealthView *m_scripts;
    LogView *m_log;
    AdvancedSettingsView *m_advanced;
    AboutSettingsView *m_about;
};

} // namespace runel::gui
