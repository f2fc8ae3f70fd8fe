#include "ResultListModel.h"

#include "SearchViewModel.h"
#include "core/text/Text.h"

namespace runel {

namespace {

// A range in characters turned into code units of text: {start, length}.
std::pair<int, int> codeUnitRange(const QString &text, qint64 offset, qint64 count)
{
    if (count <= 0 || offset < 0)
        return { 0, 0 };
    const std::vector<qsizetype> ends = text::characterEnds(text);
    const auto characters = qint64(ends.size());
    if (offset >= characters)
        return { 0, 0 };
    const qsizetype start = offset == 0 ? 0 : ends[size_t(offset - 1)];
    const qsizetype end = ends[size_t(std::min(characters, offset + count) - 1)];
    return { int(start), int(end - start) };
}

} // namespace

ResultListModel::ResultListModel(SearchViewModel &viewModel, QObject *parent)
    : QAbstractListModel(parent)
    , m_viewModel(viewModel)
{
    refresh();
}

ResultListModel::~ResultListModel() = default;

ResultListModel::Snapshot ResultListModel::snapshot() const
{
    Snapshot made;
    if (m_viewModel.executionStatus().is(ExecutionStatus::Kind::showingList)) {
        made.mode = Mode::list;
        made.listEntries = m_viewModel.filteredList();
        made.text = m_viewModel.listFilterText();
    } else if (m_viewModel.isSearchMode()) {
        made.mode = Mode::search;
        made.text = m_viewModel.searchFilterText();
        made.searchResults = m_viewModel.searchResults(); // cached by the view model
    } else {
        made.mode = Mode::sequence;
        made.sequenceRows = m_viewModel.evaluation().resultItems;
        made.typedKeyCount = m_viewModel.keys().size();
    }
    return made;
}

int ResultListModel::count(const Snapshot &snapshot) const
{
    switch (snapshot.mode) {
    case Mode::list:
        return int(snapshot.listEntries.size());
    case Mode::search:
        return int(snapshot.searchResults.size());
    case Mode::sequence:
        break;
    }
    return int(snapshot.sequenceRows.size());
}

int ResultListModel::selectionIn(const Snapshot &snapshot) const
{
    int selected = 0;
    switch (snapshot.mode) {
    case Mode::list:
        selected = m_viewModel.selectedListIndex();
        break;
    case Mode::search:
        selected = m_viewModel.selectedSearchIndex();
        break;
    case Mode::sequence:
        selected = m_viewModel.selectedIndex();
        break;
    }
    return selected >= 0 && selected < count(snapshot) ? selected : -1;
}

void ResultListModel::refresh()
{
    Snapshot next = snapshot();
    const int previous = m_selectedRow;
    if (!(next == m_snapshot)) {
        beginResetModel();
        m_snapshot = std::move(next);
        m_mode = m_snapshot.mode;
        m_catalog = m_mode == Mode::search ? m_viewModel.searchCatalog() : nullptr;
        m_query
            = m_mode == Mode::search ? std::optional(MatchQuery(m_snapshot.text)) : std::nullopt;
        m_rows.assign(size_t(count(m_snapshot)), std::nullopt);
        m_selectedRow = selectionIn(m_snapshot);
        endResetModel();
        Q_EMIT selectionMoved(m_selectedRow, previous);
        return;
    }
    m_selectedRow = selectionIn(m_snapshot);
    if (m_selectedRow == previous)
        return;
    for (int row : { previous, m_selectedRow }) {
        if (row >= 0)
            Q_EMIT dataChanged(index(row), index(row), { SelectedRole });
    }
    Q_EMIT selectionMoved(m_selectedRow, previous);
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

std::optional<ResultDisplayItem> ResultListModel::displayItem(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return std::nullopt;
    std::optional<ResultDisplayItem> &cached = m_rows[size_t(row)];
    if (cached)
        return cached;
    switch (m_mode) {
    case Mode::sequence:
        cached = runel::displayItem(m_snapshot.sequenceRows[size_t(row)], m_snapshot.typedKeyCount);
        break;
    case Mode::search:
        if (!m_catalog || !m_query)
            return std::nullopt;
        cached = m_catalog->displayItem(m_snapshot.searchResults[size_t(row)], *m_query);
        break;
    case Mode::list:
        cached
            = runel::displayItems({ m_snapshot.listEntries[size_t(row)] }, m_snapshot.text).front();
        break;
    }
    return cached;
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    const std::optional<ResultDisplayItem> item
        = index.isValid() ? displayItem(index.row()) : std::nullopt;
    if (!item)
        return {};
    switch (role) {
    case TitleRole:
        return item->title;
    case IconRole:
        return item->icon;
    case TitleHighlightStartRole:
    case TitleHighlightLengthRole: {
        const auto [start, length]
            = codeUnitRange(item->title, item->titleHighlightOffset, item->titleHighlightCount);
        return role == TitleHighlightStartRole ? start : length;
    }
    case SubtitleRole:
        return item->subtitle.value_or(QString());
    case SubtitleHighlightStartRole:
    case SubtitleHighlightLengthRole: {
        const auto [start, length] = codeUnitRange(item->subtitle.value_or(QString()),
            item->subtitleHighlightOffset, item->subtitleHighlightCount);
        return role == SubtitleHighlightStartRole ? start : length;
    }
    case SubtitleStemLengthRole:
        return codeUnitRange(item->subtitle.value_or(QString()), 0, item->subtitleStemCount).second;
    case KeyHintRole:
        return item->keyHint.value_or(QString());
    case IsFolderRole:
        return m_mode == Mode::sequence && m_snapshot.sequenceRows[size_t(index.row())].isFolder();
    case SelectedRole:
        return index.row() == m_selectedRow;
    default:
        return {};
    }
}

QHash<int, QByteArray> ResultListModel::roleNames() const
{
    return {
        { TitleRole, "title" },
        { IconRole, "icon" },
        { TitleHighlightStartRole, "titleHighlightStart" },
        { TitleHighlightLengthRole, "titleHighlightLength" },
        { SubtitleRole, "subtitle" },
        { SubtitleHighlightStartRole, "subtitleHighlightStart" },
        { SubtitleHighlightLengthRole, "subtitleHighlightLength" },
        { SubtitleStemLengthRole, "subtitleStemLength" },
        { KeyHintRole, "keyHint" },
        { IsFolderRole, "isFolder" },
        { SelectedRole, "selected" },
    };
}

} // namespace runel
