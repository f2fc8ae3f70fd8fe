#include "SearchView.h"

#include "AnimatedDivider.h"
#include "HudTextField.h"
#include "KeyBoxRow.h"
#include "KeyEventHandler.h"
#include "StatusIcon.h"
#include "core/hud/SearchViewModel.h"
#include "gui/style/HudStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>

namespace runel::gui {

using Kind = ExecutionStatus::Kind;

SearchView::SearchView(SearchViewModel &viewModel, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_title(new QLabel(this))
    , m_statusIcon(new StatusIcon(this))
    , m_input(new QStackedWidget(this))
    , m_keyCatcher(new KeyEventHandler(m_input))
    , m_keyBoxes(new KeyBoxRow(m_keyCatcher))
    , m_textField(new HudTextField(m_input))
    , m_divider(new AnimatedDivider(this))
{
    m_title->setFont(HudStyle::systemFont(14));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setMinimumWidth(1); // long output lines are elided, never widen the HUD
    applyPalette();

    auto *titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(2, 0, 2, 0); // in line with the text field's text
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_statusIcon, 0, Qt::AlignVCenter);

    auto *catcherLayout = new QHBoxLayout(m_keyCatcher);
    catcherLayout->setContentsMargins(0, 0, 0, 0);
    catcherLayout->addWidget(m_keyBoxes);
    m_input->addWidget(m_keyCatcher);
    m_input->addWidget(m_textField);
    m_input->setFixedHeight(40);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->setSpacing(10);
    layout->addLayout(titleRow);
    layout->addWidget(m_input);
    layout->addWidget(m_divider);

    SearchViewModel *model = &m_viewModel;
    m_keyCatcher->setCallbacks({
        .onCharacter = [model](const QString &key) { model->handleCharacter(key); },
        .onBackspace = [model] { model->handleBackspace(); },
        .onEscape = [model] { model->handleEscape(); },
        .onCancel = [model] { model->handleCancel(); },
        .onEnter = [model](const QString &modifiers) { model->handleEnter(modifiers); },
        .onArrowUp = [model] { model->moveSelectionUp(); },
        .onArrowDown = [model] { model->moveSelectionDown(); },
        .onTab = [model] { model->toggleSearchMode(); },
        .onShiftTab = [model] { model->toggleSearchMode(); },
    });
    sync();
}

QString SearchView::titleText() const
{
    return m_title->text();
}

void SearchView::sync()
{
    const QString title = m_titleLine.text(m_viewModel);
    const QString shown
        = m_title->fontMetrics().elidedText(title, Qt::ElideRight, std::max(0, m_title->width()));
    m_title->setText(m_title->width() > 0 ? shown : title);
    m_title->setToolTip(shown != title ? title : QString());
    syncStatus();
    syncInput();
}

void SearchView::syncStatus()
{
    const ExecutionStatus &status = m_viewModel.executionStatus();
    switch (status.kind()) {
    case Kind::idle:
        if (m_viewModel.isSearchMode())
            m_statusIcon->setStatus(StatusIcon::Kind::symbol, QStringLiteral("magnifyingglass"));
        else if (m_viewModel.refreshMessage())
            m_statusIcon->setStatus(
                StatusIcon::Kind::symbol, QStringLiteral("checkmark.circle.fill"), true);
        else
            m_statusIcon->setStatus(StatusIcon::Kind::none);
        break;
    case Kind::awaitingArgument:
        m_statusIcon->setStatus(StatusIcon::Kind::none);
        break;
    case Kind::showingList:
        m_statusIcon->setStatus(StatusIcon::Kind::symbol, QStringLiteral("list.bullet"));
        break;
    case Kind::runningForeground:
        m_statusIcon->setStatus(StatusIcon::Kind::spinner);
        break;
    case Kind::succeeded:
        m_statusIcon->setStatus(StatusIcon::Kind::symbol, QStringLiteral("checkmark.circle.fill"));
        break;
    case Kind::failed:
        m_statusIcon->setStatus(
            StatusIcon::Kind::symbol, QStringLiteral("exclamationmark.circle.fill"));
        break;
    }
    m_divider->setShimmering(status.is(Kind::runningForeground) || status.is(Kind::succeeded)
        || status.is(Kind::failed));
}

void SearchView::syncInput()
{
    SearchViewModel *model = &m_viewModel;
    const ExecutionStatus &status = m_viewModel.executionStatus();
    if (const ScriptArgument *argument = status.argument()) {
        m_textField->setUse({
            .placeholder = argument->placeholder,
            .initialValue = m_viewModel.argumentText(),
            .selectsAllOnFocus = true,
            .masked = argument->secret,
            .onConfirm = [model](const QString &text,
                             const QString &modifiers) { model->confirmArgument(text, modifiers); },
            .onCancel = [model] { model->handleEscape(); },
            .onTextChange = {},
            .onArrowUp = [model] { model->recallOlderArgument(); },
            .onArrowDown = [model] { model->recallNewerArgument(); },
            .onTab = {},
            .onShiftTab = {},
        });
    } else if (status.is(Kind::showingList)) {
        m_textField->setUse({
            .placeholder = QStringLiteral("Filter…"),
            .initialValue = m_viewModel.listFilterText(),
            .selectsAllOnFocus = false,
            .masked = false,
            .onConfirm = [model](const QString &,
                             const QString &modifiers) { model->confirmListEntry(modifiers); },
            .onCancel = [model] { model->cancelList(); },
            .onTextChange = [model](const QString &text) { model->listFilterChanged(text); },
            .onArrowUp = [model] { model->moveListSelection(-1); },
            .onArrowDown = [model] { model->moveListSelection(1); },
            .onTab = [model] { model->moveListSelection(1); },
            .onShiftTab = [model] { model->moveListSelection(-1); },
        });
    } else if (m_viewModel.isSearchMode()) {
        m_textField->setUse({
            .placeholder = QStringLiteral("Search scripts…"),
            .initialValue = m_viewModel.searchFilterText(),
            .selectsAllOnFocus = false,
            .masked = false,
            .onConfirm = [model](const QString &, const QString &) { model->confirmSearch(); },
            .onCancel = [model] { model->exitSearchMode(); },
            .onTextChange = [model](const QString &text) { model->searchTextChanged(text); },
            .onArrowUp = [model] { model->moveSearchSelection(-1); },
            .onArrowDown = [model] { model->moveSearchSelection(1); },
            .onTab = [model] { model->toggleSearchMode(); },
            .onShiftTab = [model] { model->toggleSearchMode(); },
        });
    } else {
        QStringList keys;
        for (const auto &key : m_viewModel.keys())
            keys.append(QString(key));
        m_keyBoxes->setKeys(keys);
        if (m_input->currentWidget() != m_keyCatcher) {
            m_input->setCurrentWidget(m_keyCatcher);
            m_keyCatcher->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    if (m_input->currentWidget() != m_textField)
        m_input->setCurrentWidget(m_textField); // shows it, and it takes the focus
}

void SearchView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
}

void SearchView::applyPalette()
{
    QPalette titlePalette = palette();
    titlePalette.setColor(QPalette::WindowText, HudStyle::secondary(palette()));
    m_title->setPalette(titlePalette);
}

void SearchView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    sync(); // the title is elided to the new width
}

} // namespace runel::gui
