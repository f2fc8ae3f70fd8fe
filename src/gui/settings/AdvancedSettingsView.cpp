#include "AdvancedSettingsView.h"

#include "SettingsForm.h"
#include "SettingsRows.h"
#include "core/settings/ConfigManager.h"

#include <QCheckBox>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

AdvancedSettingsView::AdvancedSettingsView(SettingsContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_searchOnUnknownKey(SettingsForm::toggle(u"Switch to Search on Unknown Key"_s))
    , m_rankByUse(SettingsForm::toggle(u"Rank scripts you run often higher"_s))
    , m_autorun(SettingsForm::toggle(u"Autorun"_s))
{
    ConfigManager &config = context.config;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *page = new FormPage(this);
    layout->addWidget(page);

    FormSection *behavior = page->addSection(u"Behavior"_s);
    behavior->addRow(SettingsForm::labelledRow(u"Switch to Search on Unknown Key"_s,
        u"Automatically switch to free-text search when a typed key does not match any "
        u"known script."_s,
        m_searchOnUnknownKey));
    behavior->addRow(SettingsForm::labelledRow(u"Rank scripts you run often higher"_s,
        u"Among search results that match equally well, list first the scripts you ran more "
        u"often and more recently."_s,
        m_rankByUse));
    FormSection *autorun = page->addSection(u"Autorun"_s);
    autorun->addRow(SettingsForm::labelledRow(u"Autorun"_s,
        u"Automatically execute the top result after a delay when it is a pinned script."_s,
        m_autorun));
    m_autorunDelay = new DelaySliderRow(u"Autorun Delay"_s,
        u"How long to wait before auto-executing the top pinned result."_s,
        bindSetting<double>(
            config, &ConfigManager::autorunDelay, &ConfigManager::setAutorunDelay, context.written),
        0.3, 3.0);
    autorun->addRow(m_autorunDelay);

    bindToggle(*m_searchOnUnknownKey,
        bindSetting<bool>(config, &ConfigManager::searchOnUnknownKey,
            &ConfigManager::setSearchOnUnknownKey, context.written));
    bindToggle(*m_rankByUse,
        bindSetting<bool>(
            config, &ConfigManager::rankByUse, &ConfigManager::setRankByUse, context.written));
    bindToggle(*m_autorun,
        bindSetting<bool>(config, &ConfigManager::autorunEnabled, &ConfigManager::setAutorunEnabled,
            context.written));
    connect(
        &config, &ConfigManager::searchOnUnknownKeyChanged, this, &AdvancedSettingsView::refresh);
    connect(&config, &ConfigManager::autorunEnabledChanged, this, &AdvancedSettingsView::refresh);
    connect(&config, &ConfigManager::rankByUseChanged, this, &AdvancedSettingsView::refresh);
    connect(&config, &ConfigManager::autorunDelayChanged, m_autorunDelay, &DelaySliderRow::refresh);
    // A change that could not be saved did not happen: the controls show what is stored.
    connect(&config, &ConfigManager::valueNotStored, this, [this] {
        refresh();
        m_autorunDelay->refresh();
    });
    refresh();
}

void AdvancedSettingsView::refresh()
{
    m_searchOnUnknownKey->setChecked(m_context.config.searchOnUnknownKey());
    m_rankByUse->setChecked(m_context.config.rankByUse());
    m_autorun->setChecked(m_context.config.autorunEnabled());
    m_autorunDelay->setVisible(m_context.config.autorunEnabled());
}

} // namespace runel::gui
