#pragma once

#include "SettingsContext.h"

#include <QWidget>

class QCheckBox;

namespace runel::gui {

class DelaySliderRow;

// The Advanced tab: switching to search on an unknown key, and autorun with its delay.
class AdvancedSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit AdvancedSettingsView(SettingsContext &context, QWidget *parent = nullptr);

    QCheckBox *searchOnUnknownKeyToggle() const { return m_searchOnUnknownKey; }
    QCheckBox *rankByUseToggle() const { return m_rankByUse; }
    QCheckBox *autorunToggle() const { return m_autorun; }
    DelaySliderRow *autorunDelayRow() const { return m_autorunDelay; }

private:
    void refresh();

    SettingsContext &m_context;
    QCheckBox *m_searchOnUnknownKey;
    QCheckBox *m_rankByUse;
    QCheckBox *m_autorun;
    DelaySliderRow *m_autorunDelay;
};

} // namespace runel::gui
