#include "ResultsWindowView.h"

#include "ResultRowDelegate.h"
#include "core/execution/ModifierText.h"
#include "core/hud/ResultListModel.h"
#include "core/hud/SearchViewModel.h"
#include "gui/style/HudStyle.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QVBoxLayout>

namespace runel::gui {

namespace {

// The rows with a clear spacer above and below them.
class SpacedListView : public QListView {
public:
    explicit SpacedListView(QWidget *parent)
        : QListView(parent)
    {
        setViewportMargins(0, ResultsWindowView::spacer, 0, ResultsWindowView::spacer);
    }
};

} // namespace

ResultsWindowView::ResultsWindowView(
    SearchViewModel &viewModel, ResultListModel &model, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_model(model)
    , m_list(new SpacedListView(this))
    , m_empty(new QLabel(QStringLiteral("No Results"), this))
{
    m_list->setModel(&m_model);
    m_list->setItemDelegate(new ResultRowDelegate(m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    m_list->setMouseTracking(true);

    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setFont(HudStyle::systemFont(14));
    m_empty->setFixedHeight(52);
    QPalette emptyPalette = palette();
    emptyPalette.setColor(QPalette::WindowText, HudStyle::secondary(palette()));
    m_empty->setPalette(emptyPalette);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list);
    layout->addWidget(m_empty);

    // The list's height follows its row count; a changed row keeps its height.
    connect(&m_model, &QAbstractItemModel::modelReset, this, &ResultsWindowView::fitHeight);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &ResultsWindowView::fitHeight);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &ResultsWindowView::fitHeight);
    connect(
        &m_model, &ResultListModel::selectionMoved, this, &ResultsWindowView::scrollForSelection);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        m_viewModel.activateRow(index.row(), modifierText(QApplication::keyboardModifiers()));
    });
    fitHeight();
}

bool ResultsWindowView::isShowingEmptyState() const
{
    return !m_empty->isHidden();
}

void ResultsWindowView::fitHeight()
{
    // Every row of the key-sequence list has a subtitle (a file or folder name), so all are one
    // height and the list lays itself out without building the rows out of view: with "s"
    // typed over 5,000 scripts that was a thousand rows built per key. Search and list rows
    // may lack a subtitle.
    m_list->setUniformItemSizes(m_model.mode() == ResultListModel::Mode::sequence);
    const int rows = m_model.rowCount();
    m_empty->setHidden(rows > 0);
    m_list->setHidden(rows == 0);
    int height = 2 * spacer;
    for (int row = 0; row < rows && height < maximumListHeight; ++row)
        height += m_list->sizeHintForRow(row);
    m_list->setFixedHeight(std::min(height, maximumListHeight));
    m_list->setVerticalScrollBarPolicy(
        height > maximumListHeight ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void ResultsWindowView::scrollForSelection(int row, int previous)
{
    const int last = m_model.rowCount() - 1;
    if (row < 0 || last < 0)
        return;
    // Keep one neighbour of the selected row in view, in the direction it moves.
    if (row == 0)
        m_list->scrollToTop();
    else if (row == last)
        m_list->scrollToBottom();
    else
        m_list->scrollTo(
            m_model.index(row < previous ? row - 1 : row + 1), QAbstractItemView::EnsureVisible);
}

void ResultsWindowView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        QPalette emptyPalette = palette();
        emptyPalette.setColor(QPalette::WindowText, HudStyle::secondary(palette()));
        m_empty->setPalette(emptyPalette);
    }
}

} // namespace runel::gui
