#include "DesktopKeyBindingRow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

DesktopKeyBindingRow::DesktopKeyBindingRow(DesktopKeyBinding binding, QWidget *parent)
    : QWidget(parent)
    , m_binding(std::move(binding))
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    build();
}

void DesktopKeyBindingRow::setBinding(DesktopKeyBinding binding)
{
    m_binding = std::move(binding);
    delete m_content; // drops the answers still to come for the old binding
    m_button = nullptr;
    m_message = nullptr;
    build();
}

void DesktopKeyBindingRow::build()
{
    m_content = new QWidget(this);
    m_layout->addWidget(m_content);
    auto *layout = new QVBoxLayout(m_content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *explanation = new QLabel(m_binding.explanation(), m_content);
    explanation->setWordWrap(true);
    explanation->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(explanation);

    const QStringList lines = m_binding.configLines();
    if (!lines.isEmpty()) {
        auto *text = new QPlainTextEdit(lines.join(u'\n'), m_content);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        text->setFixedHeight(text->fontMetrics().lineSpacing() * (int(lines.size()) + 2));
        layout->addWidget(text);
        return;
    }
    // Nothing to add without a combination: the explanation says to record one.
    if (!m_binding.canWrite() || !m_binding.hasCombination())
        return;

    auto *row = new QHBoxLayout;
    auto *keys = new QLabel(m_binding.combination(), m_content);
    QFont bold = keys->font();
    bold.setBold(true);
    keys->setFont(bold);
    row->addWidget(keys);
    row->addStretch();
    m_button = new QPushButton(m_content);
    connect(m_button, &QPushButton::clicked, this, &DesktopKeyBindingRow::buttonClicked);
    row->addWidget(m_button);
    layout->addLayout(row);
    m_message = new QLabel(m_content);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();
    layout->addWidget(m_message);
    refresh();
}

void DesktopKeyBindingRow::refresh()
{
    if (!m_button)
        return;
    // Until the desktop's tools answer, the button waits: a click could act on a stale state.
    m_button->setEnabled(false);
    // An answer for a binding replaced since (setBinding) is dropped with its content.
    m_binding.isAdded(m_content, [this](bool added) {
        m_added = added;
        m_button->setText(m_added ? u"Remove"_s : u"Add Shortcut to "_s + m_binding.desktopName());
        m_button->setEnabled(true);
    });
}

void DesktopKeyBindingRow::buttonClicked()
{
    m_button->setEnabled(false);
    const auto shown = [this](const Expected<void> &result) {
        m_message->setText(result.error());
        m_message->setVisible(!result);
        refresh();
    };
    if (m_added)
        m_binding.remove(m_content, shown);
    else
        m_binding.add(m_content, shown);
}

} // namespace runel::gui
