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
    m_mode = currentMode();
    loadRows();
    m_selectedRow = selectionInViewModel();
    // The view model notifies once its operation is complete, so the first of these signals
    // already finds rows and selection final; the ones after it find nothing left to do.
    using VM = SearchViewModel;
    for (const auto signal : { &VM::keysChanged, &VM::evaluationChanged,
             &VM::executionStatusChanged, &VM::isSearchModeChanged, &VM::searchFilterTextChanged,
             &VM::searchResultsChanged, &VM::filteredListChanged, &VM::selectedIndexChanged,
             &VM::selectedSearchIndexChanged, &VM::selectedListIndexChanged })
        connect(&viewModel, signal, this, &ResultListModel::follow);
}

ResultListModel::~ResultListModel() = default;

ResultListModel::Mode ResultListModel::currentMode() const
{
    if (m_viewModel.executionStatus().is(ExecutionStatus::Kind::showingList))
        return Mode::list;
    return m_viewModel.isSearchMode() ? Mode::search : Mode::sequence;
}

void ResultListModel::loadRows()
{
    m_sequenceRows.clear();
    m_searchResults.clear();
    m_listEntries.clear();
    m_filteredEntries.clear();
    m_text.clear();
    m_catalog.reset();
    m_query.reset();
    m_typedKeyCount = 0;
    switch (m_mode) {
    case Mode::sequence:
        m_sequenceRows = m_viewModel.evaluation().resultItems;
        m_typedKeyCount = m_viewModel.keys().size();
        break;
    case Mode::search:
        m_text = m_viewModel.searchFilterText();
        m_searchResults = m_viewModel.searchResults(); // cached by the view model
        m_catalog = m_viewModel.searchCatalog();
        m_query.emplace(m_text);
        break;
    case Mode::list:
        m_listEntries = *m_viewModel.executionStatus().entries();
        m_filteredEntries = m_viewModel.filteredList();
        m_text = m_viewModel.listFilterText();
        break;
    }
    m_rows.assign(size_t(rowCount()), std::nullopt);
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    switch (m_mode) {
    case Mode::list:
        return int(m_filteredEntries.size());
    case Mode::search:
        return int(m_searchResults.size());
    case Mode::sequence:
        break;
    }
    return int(m_sequenceRows.size());
}

void ResultListModel::reset(Mode mode)
{
    const int previous = m_selectedRow;
    beginResetModel();
    m_mode = mode;
    loadRows();
    m_selectedRow = selectionInViewModel();
    endResetModel();
    Q_EMIT selectionMoved(m_selectedRow, previous);
}

void ResultListModel::follow()
{
    const Mode mode = currentMode();
    if (mode != m_mode) {
        reset(mode);
        return;
    }
    switch (mode) {
    case Mode::sequence: {
        const Evaluation &evaluation = m_viewModel.evaluation();
        const qsizetype typed = m_viewModel.keys().size();
        // The key hints are the part of each row's keys left to type.
        replaceRows(m_sequenceRows, evaluation.resultItems, typed != m_typedKeyCount, [&] {
            m_sequenceRows = evaluation.resultItems;
            m_typedKeyCount = typed;
        });
        break;
    }
    case Mode::search: {
        if (m_viewModel.searchCatalog() != m_catalog) {
            reset(mode); // the rows point into another index
            return;
        }
        const QString &text = m_viewModel.searchFilterText();
        const std::vector<SearchResult> &results = m_viewModel.searchResults();
        // The highlights are where the text matched.
        replaceRows(m_searchResults, results, text != m_text, [&] {
            m_searchResults = results;
            if (text != m_text) {
                m_text = text;
                m_query.emplace(m_text);
            }
        });
        break;
    }
    case Mode::list: {
        if (*m_viewModel.executionStatus().entries() != m_listEntries) {
            reset(mode); // another list
            return;
        }
        const QString &text = m_viewModel.listFilterText();
        const std::vector<ListEntry> filtered = m_viewModel.filteredList();
        replaceRows(m_filteredEntries, filtered, text != m_text, [&] {
            m_filteredEntries = filtered;
            m_text = text;
        });
        break;
    }
    }
    followSelection();
}

template<typename Row, typename Store>
void ResultListModel::replaceRows(
    const std::vector<Row> &held, const std::vector<Row> &next, bool allChanged, Store store)
{
    const int oldCount = int(held.size());
    const int newCount = int(next.size());
    const int kept = std::min(oldCount, newCount);
    // The kept rows that changed lie within [first, last].
    int first = 0;
    int last = kept - 1;
    if (!allChanged) {
        while (first < kept && held[size_t(first)] == next[size_t(first)])
            ++first;
        while (last >= first && held[size_t(last)] == next[size_t(last)])
            --last;
    }
    if (newCount < oldCount) {
        beginRemoveRows({}, newCount, oldCount - 1);
        store();
        m_rows.resize(size_t(newCount));
        endRemoveRows();
    } else if (newCount > oldCount) {
        beginInsertRows({}, oldCount, newCount - 1);
        store();
        m_rows.resize(size_t(newCount));
        endInsertRows();
    } else if (first <= last || allChanged) {
        store();
    }
    if (first <= last) {
        std::fill(m_rows.begin() + first, m_rows.begin() + last + 1, std::nullopt);
        Q_EMIT dataChanged(index(first), index(last));
    }
}

int ResultListModel::selectionInViewModel() const
{
    int selected = 0;
    switch (m_mode) {
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
    return selected >= 0 && selected < rowCount() ? selected : -1;
}

void ResultListModel::followSelection()
{
    const int previous = m_selectedRow;
    m_selectedRow = selectionInViewModel();
    if (m_selectedRow == previous)
        return;
    for (int row : { previous, m_selectedRow }) {
        if (row >= 0 && row < rowCount())
            Q_EMIT dataChanged(index(row), index(row), { SelectedRole });
    }
    Q_EMIT selectionMoved(m_selectedRow, previous);
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
        cached = runel::displayItem(m_sequenceRows[size_t(row)], m_typedKeyCount);
        break;
    case Mode::search:
        if (!m_catalog || !m_query)
            return std::nullopt;
        cached = m_catalog->displayItem(m_searchResults[size_t(row)], *m_query);
        break;
    case Mode::list:
        cached = runel::displayItems({ m_filteredEntries[size_t(row)] }, m_text).front();
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
        return m_mode == Mode::sequence && m_sequenceRows[size_t(index.row())].isFolder();
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
