#include "AboutSettingsView.h"

#include "RunelBuildId.h"
#include "SettingsForm.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#ifndef RUNEL_VERSION
#define RUNEL_VERSION ""
#endif

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

constexpr int symbolSize = 40;

QLabel *text(const QString &content, double points, bool bold, QWidget *parent)
{
    // Bold is the title; the rest is written in the secondary colour.
    QLabel *label = bold ? new QLabel(content, parent) : new SecondaryLabel(content, parent);
    // Sizes relative to the body text, so a large desktop font makes them large too.
    label->setFont(
        SettingsForm::relativeFont(label->font(), points, bold ? QFont::Bold : QFont::Normal));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QString orUnknown(const char *value)
{
    return *value ? QString::fromUtf8(value) : u"Unknown"_s;
}

} // namespace

AboutSettingsView::AboutSettingsView(QWidget *parent)
    : QWidget(parent)
    , m_symbol(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addStretch(1);
    m_symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_symbol);
    layout->addWidget(text(u"Runel"_s, 20, true, this));
    layout->addWidget(text(u"Launch scripts instantly."_s, 12, false, this));
    QLabel *version = text(versionText(), 11, false, this);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(version);
    layout->addStretch(1);
    m_symbol->setPixmap(
        SettingsForm::symbolIcon(u"dot.square.fill"_s, palette(), symbolSize).pixmap(symbolSize));
}

QString AboutSettingsView::versionText()
{
    return u"Version %1 (%2)"_s.arg(orUnknown(RUNEL_VERSION), orUnknown(RUNEL_BUILD));
}

void AboutSettingsView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        m_symbol->setPixmap(SettingsForm::symbolIcon(u"dot.square.fill"_s, palette(), symbolSize)
                                .pixmap(symbolSize));
    QWidget::changeEvent(event);
}

} // namespace runel::gui
