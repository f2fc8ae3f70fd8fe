#include "ShortcutsView.h"

#include "SettingsForm.h"
#include "core/Uuid.h"
#include "core/settings/ConfigManager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

constexpr int removeColumn = 16;

QWidget *columnHeader()
{
    auto *header = new QWidget;
    auto *line = new QHBoxLayout(header);
    line->setContentsMargins(8, 0, 8, 0);
    line->addWidget(new SecondaryLabel(u"Key Sequence"_s));
    line->addStretch(1);
    line->addWidget(new SecondaryLabel(u"Hotkey"_s));
    line->addSpacing(removeColumn + line->spacing());
    return header;
}

} // namespace

ShortcutsView::ShortcutsView(SettingsContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *page = new FormPage(this);
    layout->addWidget(page);
    m_section = page->addSection({});
    m_section->setHeader(columnHeader());
    m_add = SettingsForm::footerButton(u"Add Shortcut"_s, u"plus"_s);
    m_section->setFooter(m_add);
    connect(m_add, &QPushButton::clicked, this, &ShortcutsView::add);
    connect(&context.config, &ConfigManager::shortcutsChanged, this, &ShortcutsView::refresh);
    connect(&context.config, &ConfigManager::valueNotStored, this, &ShortcutsView::refresh);
    rebuild();
}

QString ShortcutsView::shortcutName(const QUuid &id)
{
    return u"shortcut-"_s + uuidString(id);
}

void ShortcutsView::refresh()
{
    const std::vector<AppShortcut> &shortcuts = m_context.config.shortcuts();
    const bool sameRows
        = std::equal(shortcuts.begin(), shortcuts.end(), m_rows.begin(), m_rows.end(),
            [](const AppShortcut &shortcut, const Row &row) { return shortcut.id == row.id; });
    if (!sameRows) {
        rebuild();
        return;
    }
    // Only texts changed: the rows stay, so the field being typed in keeps its focus and cursor.
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].keySequence->text() != shortcuts[size_t(i)].keySequence)
            m_rows[i].keySequence->setText(shortcuts[size_t(i)].keySequence);
    }
}

void ShortcutsView::rebuild()
{
    m_section->clearRows();
    m_rows.clear();
    m_empty = nullptr;
    const std::vector<AppShortcut> &shortcuts = m_context.config.shortcuts();
    if (shortcuts.empty()) {
        m_empty = SettingsForm::emptyRow(u"No shortcuts yet."_s);
        m_section->addRow(m_empty);
        return;
    }
    for (const AppShortcut &shortcut : shortcuts) {
        auto *line = new QWidget;
        auto *column = new QVBoxLayout(line);
        column->setContentsMargins(0, 0, 0, 0);
        auto *layout = new QHBoxLayout;
        column->addLayout(layout);
        const QString name = shortcutName(shortcut.id);
        Row row { shortcut.id, new QLineEdit(shortcut.keySequence, line),
            m_context.recorder(name, line), new SymbolButton(u"minus.circle.fill"_s, {}, line),
            m_context.desktopBinding ? m_context.desktopBinding(name, line) : nullptr };
        row.keySequence->setAccessibleName(u"Key Sequence"_s);
        row.remove->setToolTip(u"Remove shortcut"_s);
        row.remove->setAccessibleName(u"Remove shortcut"_s);
        row.remove->setFixedWidth(removeColumn + 8);
        layout->addWidget(row.keySequence, 1);
        layout->addWidget(row.recorder);
        layout->addWidget(row.remove);
        if (row.desktopBinding) {
            // Lined up under the key sequence field, clear of the remove column.
            row.desktopBinding->setContentsMargins(0, 0, removeColumn + 8, 4);
            column->addWidget(row.desktopBinding);
        }
        const QUuid id = shortcut.id;
        connect(row.keySequence, &QLineEdit::textEdited, this,
            [this, id](const QString &text) { edit(id, text); });
        connect(row.remove, &QPushButton::clicked, this, [this, id] { remove(id); });
        m_section->addRow(line);
        m_rows.append(row);
    }
}

void ShortcutsView::add()
{
    std::vector<AppShortcut> shortcuts = m_context.config.shortcuts();
    shortcuts.push_back({ QUuid::createUuid(), QString() });
    m_context.config.setShortcuts(shortcuts);
    m_context.written();
    if (!m_rows.isEmpty())
        m_rows.constLast().keySequence->setFocus();
}

void ShortcutsView::remove(const QUuid &id)
{
    // The hot key first: a shortcut without a row must not keep a stored combination that a
    // later shortcut could never clear.
    m_context.resetShortcut(shortcutName(id));
    std::vector<AppShortcut> shortcuts = m_context.config.shortcuts();
    std::erase_if(shortcuts, [&id](const AppShortcut &shortcut) { return shortcut.id == id; });
    m_context.config.setShortcuts(shortcuts);
    m_context.written();
}

void ShortcutsView::edit(const QUuid &id, const QString &keySequence)
{
    std::vector<AppShortcut> shortcuts = m_context.config.shortcuts();
    for (AppShortcut &shortcut : shortcuts) {
        if (shortcut.id == id)
            shortcut.keySequence = keySequence;
    }
    m_context.config.setShortcuts(shortcuts);
    m_context.written();
}

} // namespace runel::gui
