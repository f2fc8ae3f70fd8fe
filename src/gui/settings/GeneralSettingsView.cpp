#include "GeneralSettingsView.h"

#include "SettingsForm.h"
#include "SettingsRows.h"
#include "core/execution/SoundRule.h"
#include "core/settings/ConfigManager.h"
#include "login-item/LaunchAtLogin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

GeneralSettingsView::GeneralSettingsView(SettingsContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    ConfigManager &config = context.config;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *page = new FormPage(this);
    layout->addWidget(page);

    FormSection *general = page->addSection(u"General"_s);
    general->addRow(SettingsForm::labelledRow(u"Toggle Runel"_s,
        u"Opens in key-sequence mode. Use tab key to switch to free-text search mode."_s,
        context.recorder(u"toggleSearchWindow"_s, nullptr)));
    general->addRow(SettingsForm::labelledRow(u"Toggle Search Mode"_s,
        u"Opens in free-text search mode. Use the tab key to switch to key-sequence mode."_s,
        context.recorder(u"toggleSearchMode"_s, nullptr)));
    m_launchAtLogin = SettingsForm::toggle(u"Launch at login"_s);
    general->addRow(SettingsForm::labelledRow(u"Launch at login"_s, {}, m_launchAtLogin));
    m_launchAtLoginError = SettingsForm::descriptionLabel({});
    m_launchAtLoginError->hide();
    general->addRow(m_launchAtLoginError);
    connect(m_launchAtLogin, &QCheckBox::clicked, this, [this](bool checked) {
        const Expected<void> done = m_context.launchAtLogin.setEnabled(checked);
        // The box shows what is on disk: after a failure it goes back, and says why below.
        m_launchAtLoginError->setText(done.error());
        m_launchAtLoginError->setVisible(!done);
        refreshLaunchAtLogin();
    });

    FormSection *scripts = page->addSection(u"Scripts"_s);
    auto *folderRow = new QWidget;
    auto *folderLine = new QHBoxLayout(folderRow);
    folderLine->setContentsMargins(0, 4, 0, 4);
    folderLine->addWidget(new QLabel(u"Scripts Folder"_s));
    m_scriptsFolder = new ElidedLabel;
    m_scriptsFolder->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    folderLine->addWidget(m_scriptsFolder, 1);
    m_selectFolder = new QPushButton(u"Select"_s);
    folderLine->addWidget(m_selectFolder);
    scripts->addRow(folderRow);
    connect(m_selectFolder, &QPushButton::clicked, this, &GeneralSettingsView::chooseFolder);

    m_scriptDelay = addDelayRow(*scripts, u"Script Delay"_s,
        u"How long to wait before running a matched script."_s, Settings::scriptDelay, context);
    m_enhanceLabels = addToggleRow(*scripts, u"Enhance Labels"_s,
        u"Capitalize and clean up auto-generated labels for folders and scripts."_s,
        Settings::enhanceLabels, context);

    FormSection *results = page->addSection(u"Results"_s);
    m_showResults = new QComboBox;
    m_showResults->addItem(u"Immediately"_s, int(ResultsVisibility::immediately));
    m_showResults->addItem(u"Delayed"_s, int(ResultsVisibility::delayed));
    m_showResults->addItem(u"Never"_s, int(ResultsVisibility::never));
    results->addRow(SettingsForm::labelledRow(u"Show Results"_s,
        u"When to show the list of matching scripts after a key press."_s, m_showResults));
    connect(m_showResults, &QComboBox::activated, this, [this](int index) {
        m_context.config.setResultsVisibility(
            ResultsVisibility(m_showResults->itemData(index).toInt()));
        m_context.written();
    });
    m_resultsDelay = addDelayRow(*results, u"Results Delay"_s,
        u"How long to wait after a key press before showing Results."_s, Settings::resultsDelay,
        context);

    FormSection *sounds = page->addSection(u"Sounds"_s);
    m_successSound = addSoundRow(*sounds, u"Success Sound"_s,
        u"Sound to play when a script finishes successfully."_s, Settings::successSound,
        BuiltInSound::success, context);
    m_backgroundSuccessSound = addSoundRow(*sounds, u"Background Success Sound"_s,
        u"Sound to play when a background script finishes successfully."_s,
        Settings::backgroundSuccessSound, BuiltInSound::success, context);
    m_failureSound = addSoundRow(*sounds, u"Failure Sound"_s,
        u"Sound to play when a script exits with an error."_s, Settings::failureSound,
        BuiltInSound::failure, context);

    // Changes made elsewhere (another window, a reload of the settings) show up here.
    connect(&config, &ConfigManager::scriptsDirChanged, this, &GeneralSettingsView::refreshFolder);
    connect(&config, &ConfigManager::resultsVisibilityChanged, this,
        &GeneralSettingsView::refreshResults);
    connect(&context.launchAtLogin, &LaunchAtLogin::isEnabledChanged, this,
        &GeneralSettingsView::refreshLaunchAtLogin);
    // A change that could not be saved did not happen: every control shows what is stored.
    connect(&config, &ConfigManager::valueNotStored, this, [this] {
        refreshFolder();
        refreshResults();
    });
    refreshFolder();
    refreshResults();
    refreshLaunchAtLogin();
}

void GeneralSettingsView::showEvent(QShowEvent *event)
{
    refreshLaunchAtLogin();
    QWidget::showEvent(event);
}

void GeneralSettingsView::chooseFolder()
{
    if (m_folderChooser) {
        m_folderChooser->raise();
        return;
    }
    m_folderChooser = new QFileDialog(
        window(), u"Choose the scripts folder for Runel"_s, m_context.config.scriptsDir());
    m_folderChooser->setAttribute(Qt::WA_DeleteOnClose);
    m_folderChooser->setFileMode(QFileDialog::Directory);
    m_folderChooser->setOption(QFileDialog::ShowDirsOnly);
    m_folderChooser->setLabelText(QFileDialog::Accept, u"Select"_s);
    connect(m_folderChooser, &QFileDialog::fileSelected, this, [this](const QString &folder) {
        // Cancelling selects nothing and changes nothing.
        if (folder.isEmpty())
            return;
        m_context.config.setScriptsDir(folder);
        m_context.written();
    });
    connect(m_folderChooser, &QObject::destroyed, this, [this] { m_folderChooser = nullptr; });
    m_folderChooser->open();
}

void GeneralSettingsView::refreshFolder()
{
    m_scriptsFolder->setFullText(m_context.config.scriptsDir());
}

void GeneralSettingsView::refreshResults()
{
    const ResultsVisibility visibility = m_context.config.resultsVisibility();
    {
        const QSignalBlocker blocker(m_showResults);
        m_showResults->setCurrentIndex(m_showResults->findData(int(visibility)));
    }
    m_resultsDelay->setVisible(visibility == ResultsVisibility::delayed);
}

void GeneralSettingsView::refreshLaunchAtLogin()
{
    m_launchAtLogin->setChecked(m_context.launchAtLogin.isEnabled());
}

} // namespace runel::gui
