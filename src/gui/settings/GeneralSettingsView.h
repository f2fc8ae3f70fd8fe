#pragma once

#include "SettingsContext.h"

#include <QLabel>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QPushButton;

namespace runel::gui {

class DelaySliderRow;
class ElidedLabel;
class SoundPickerRow;

// The General tab: hot keys, launch at login, the scripts folder, delays, results and sounds.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit GeneralSettingsView(SettingsContext &context, QWidget *parent = nullptr);

    QCheckBox *launchAtLoginToggle() const { return m_launchAtLogin; }
    // Empty unless the last change of the toggle failed.
    QString launchAtLoginError() const
    {
        return m_launchAtLoginError->isHidden() ? QString() : m_launchAtLoginError->text();
    }
    ElidedLabel *scriptsFolderLabel() const { return m_scriptsFolder; }
    QPushButton *selectFolderButton() const { return m_selectFolder; }
    // The folder chooser while it is open; null otherwise.
    QFileDialog *folderChooser() const { return m_folderChooser; }
    DelaySliderRow *scriptDelayRow() const { return m_scriptDelay; }
    QCheckBox *enhanceLabelsToggle() const { return m_enhanceLabels; }
    QComboBox *showResultsPicker() const { return m_showResults; }
    DelaySliderRow *resultsDelayRow() const { return m_resultsDelay; }
    SoundPickerRow *successSoundRow() const { return m_successSound; }
    SoundPickerRow *backgroundSuccessSoundRow() const { return m_backgroundSuccessSound; }
    SoundPickerRow *failureSoundRow() const { return m_failureSound; }

protected:
    // Launch at login lives on disk: what the toggle shows is read again whenever the tab shows.
    void showEvent(QShowEvent *event) override;

private:
    void chooseFolder();
    void refreshFolder();
    void refreshResults();
    void refreshLaunchAtLogin();

    SettingsContext &m_context;
    QCheckBox *m_launchAtLogin;
    QLabel *m_launchAtLoginError; // why the last change of m_launchAtLogin failed
    ElidedLabel *m_scriptsFolder;
    QPushButton *m_selectFolder;
    QFileDialog *m_folderChooser = nullptr;
    DelaySliderRow *m_scriptDelay;
    QCheckBox *m_enhanceLabels;
    QComboBox *m_showResults;
    DelaySliderRow *m_resultsDelay;
    SoundPickerRow *m_successSound;
    SoundPickerRow *m_backgroundSuccessSound;
    SoundPickerRow *m_failureSound;
};

} // namespace runel::gui
