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
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *page = new FormPage(this);
    layout->addWidget(page);

    FormSection *behavior = page->addSection(u"Behavior"_s);
    m_searchOnUnknownKey = addToggleRow(*behavior, u"Switch to Search on Unknown Key"_s,
        u"Automatically switch to free-text search when a typed key does not match any "
        u"known script."_s,
        Settings::searchOnUnknownKey, context);
    m_rankByUse = addToggleRow(*behavior, u"Rank scripts you run often higher"_s,
        u"Among search results that match equally well, list first the scripts you ran more "
        u"often and more recently."_s,
        Settings::rankByUse, context);
    FormSection *autorun = page->addSection(u"Autorun"_s);
    m_autorun = addToggleRow(*autorun, u"Autorun"_s,
        u"Automatically execute the top result after a delay when it is a pinned script."_s,
        Settings::autorunEnabled, context);
    m_autorunDelay = addDelayRow(*autorun, u"Autorun Delay"_s,
        u"How long to wait before auto-executing the top pinned result."_s, Settings::autorunDelay,
        context);

    // The delay matters only while autorun is on.
    followSetting(context.config, Settings::autorunEnabled, this, &AdvancedSettingsView::refresh);
    refresh();
}

void AdvancedSettingsView::refresh()
{
    m_autorunDelay->setVisible(m_context.config.autorunEnabled());
}

} // namespace runel::gui
