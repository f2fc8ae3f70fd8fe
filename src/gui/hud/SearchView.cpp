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

    installCallbacks();
    using VM = SearchViewModel;
    for (const auto signal : { &VM::latestOutputChanged, &VM::refreshMessageChanged,
             &VM::executionStatusChanged, &VM::isSearchModeChanged, &VM::searchFilterTextChanged,
             &VM::searchResultsChanged, &VM::keysChanged, &VM::evaluationChanged })
        connect(&viewModel, signal, this, &SearchView::updateTitle);
    for (const auto signal :
        { &VM::executionStatusChanged, &VM::isSearchModeChanged, &VM::refreshMessageChanged })
        connect(&viewModel, signal, this, &SearchView::updateStatus);
    for (const auto signal : { &VM::executionStatusChanged, &VM::isSearchModeChanged })
        connect(&viewModel, signal, this, &SearchView::updateInput);
    connect(&viewModel, &VM::keysChanged, this, &SearchView::updateKeys);
    for (const auto signal :
        { &VM::argumentTextChanged, &VM::listFilterTextChanged, &VM::searchFilterTextChanged })
        connect(&viewModel, signal, this, &SearchView::updateFieldText);
    updateTitle();
    updateStatus();
    updateInput();
}

void SearchView::installCallbacks()
{
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
    // The text field's keys do what its current use says.
    m_textField->setCallbacks({
        .onConfirm =
            [this, model](const QString &text, const QString &modifiers) {
                switch (input()) {
                case Input::argument:
                    return model->confirmArgument(text, modifiers);
                case Input::list:
                    return model->confirmListEntry(modifiers);
                case Input::search:
                    return model->confirmSearch();
                case Input::keys:
                    return;
                }
            },
        .onCancel =
            [this, model] {
                switch (input()) {
                case Input::argument:
                    return model->handleEscape();
                case Input::list:
                    return model->cancelList();
                case Input::search:
                    return model->exitSearchMode();
                case Input::keys:
                    return;
                }
            },
        .onTextChange =
            [this, model](const QString &text) {
                if (input() == Input::list)
                    model->listFilterChanged(text);
                else if (input() == Input::search)
                    model->searchTextChanged(text);
            },
        .onArrowUp = [this] { arrow(-1); },
        .onArrowDown = [this] { arrow(1); },
        .onTab = [this] { return tab(1); },
        .onShiftTab = [this] { return tab(-1); },
    });
}

void SearchView::arrow(int step)
{
    switch (input()) {
    case Input::argument:
        return step < 0 ? m_viewModel.recallOlderArgument() : m_viewModel.recallNewerArgument();
    case Input::list:
        return m_viewModel.moveListSelection(step);
    case Input::search:
        return m_viewModel.moveSearchSelection(step);
    case Input::keys:
        return;
    }
}

bool SearchView::tab(int step)
{
    // The argument field leaves Tab to the field.
    if (input() == Input::list)
        m_viewModel.moveListSelection(step);
    else if (input() == Input::search)
        m_viewModel.toggleSearchMode();
    else
        return false;
    return true;
}

SearchView::Input SearchView::input() const
{
    const ExecutionStatus &status = m_viewModel.executionStatus();
    if (status.argument())
        return Input::argument;
    if (status.is(Kind::showingList))
        return Input::list;
    return m_viewModel.isSearchMode() ? Input::search : Input::keys;
}

QString SearchView::titleText() const
{
    return m_title->text();
}

void SearchView::updateTitle()
{
    // Several of the fields it shows change in one operation; eliding (shaping the text) is
    // what costs, so it is done again only for another text or width.
    const QString title = m_titleLine.text(m_viewModel);
    if (title == m_fullTitle && m_title->width() == m_titleWidth)
        return;
    m_fullTitle = title;
    m_titleWidth = m_title->width();
    const QString shown
        = m_title->fontMetrics().elidedText(title, Qt::ElideRight, std::max(0, m_title->width()));
    m_title->setText(m_title->width() > 0 ? shown : title);
    m_title->setToolTip(shown != title ? title : QString());
}

void SearchView::updateStatus()
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

void SearchView::updateInput()
{
    const Input shown = input();
    if (shown == Input::keys) {
        updateKeys();
        if (m_input->currentWidget() != m_keyCatcher) {
            m_input->setCurrentWidget(m_keyCatcher);
            m_keyCatcher->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    HudTextField::Use use;
    if (shown == Input::argument) {
        const ScriptArgument *argument = m_viewModel.executionStatus().argument();
        use = { .placeholder = argument->placeholder,
            .selectsAllOnFocus = true,
            .masked = argument->secret };
    } else {
        use.placeholder
            = shown == Input::list ? QStringLiteral("Filter…") : QStringLiteral("Search scripts…");
    }
    // The text first: a field that takes the focus for its new use selects what it shows.
    updateFieldText();
    m_textField->setUse(use);
    if (m_input->currentWidget() != m_textField)
        m_input->setCurrentWidget(m_textField); // shows it, and it takes the focus
}

void SearchView::updateKeys()
{
    if (input() != Input::keys)
        return;
    QStringList keys;
    for (const auto &key : m_viewModel.keys())
        keys.append(QString(key));
    m_keyBoxes->setKeys(keys);
}

void SearchView::updateFieldText()
{
    switch (input()) {
    case Input::argument:
        return m_textField->showText(m_viewModel.argumentText());
    case Input::list:
        return m_textField->showText(m_viewModel.listFilterText());
    case Input::search:
        return m_textField->showText(m_viewModel.searchFilterText());
    case Input::keys:
        return;
    }
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
    updateTitle(); // elided to the new width
}

} // namespace runel::gui
