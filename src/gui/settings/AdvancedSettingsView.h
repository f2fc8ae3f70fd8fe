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
    // Shows the autorun delay only while autorun is on.
    void refresh();

    SettingsContext &m_context;
    QCheckBox *m_searchOnUnknownKey = nullptr;
    QCheckBox *m_rankByUse = nullptr;
    QCheckBox *m_autorun = nullptr;
    DelaySliderRow *m_autorunDelay = nullptr;
};

} // namespace runel::gui
