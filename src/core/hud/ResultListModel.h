#pragma once

#include "ResultRows.h"
#include "SearchCatalog.h"
#include "SearchEvaluation.h"
#include "core/execution/ListEntry.h"

#include <QAbstractListModel>
#include <memory>
#include <optional>
#include <vector>

namespace runel {

class SearchViewModel;

// The rows of the results list for the view model's current mode: the sequence-mode rows, the
// search results or the filtered entries of a script-produced list. A row's texts are built
// only when a view asks for it, so a search that finds every script costs only the visible
// rows. Follows the view model's signals by itself, with the smallest model signals: a reset
// only when the mode changes or its rows come from another catalog or list; within a mode the
// rows past the new end are removed (or new ones inserted) and the kept rows that changed get
// dataChanged; a moved selection updates just the two rows involved. Highlight ranges are
// given in UTF-16 code units, ready for drawing.
class ResultListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        TitleRole = Qt::DisplayRole,
        IconRole = Qt::UserRole + 1, // symbol name: "doc.fill", "folder.fill", an annotation
        TitleHighlightStartRole,
        TitleHighlightLengthRole,
        SubtitleRole, // null QString when the row has no subtitle
        SubtitleHighlightStartRole,
        SubtitleHighlightLengthRole,
        SubtitleStemLengthRole, // the subtitle after this many code units is drawn dimmed
        KeyHintRole, // null QString when there is nothing left to type
        IsFolderRole,
        SelectedRole,
    };
    enum class Mode { sequence, search, list };

    // The view model must outlive the model. Search rows are drawn from the view model's
    // catalog, the one its results were found in.
    explicit ResultListModel(SearchViewModel &viewModel, QObject *parent = nullptr);
    ~ResultListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    Mode mode() const { return m_mode; }
    int selectedRow() const { return m_selectedRow; } // -1 when no row is selected
    // The whole row, as the core describes it (null row for an index outside the list).
    std::optional<ResultDisplayItem> displayItem(int row) const;

Q_SIGNALS:
    // The selection moved from previous to row (either may be -1); emitted after the rows are
    // up to date, also after a reset.
    void selectionMoved(int row, int previous);

private:
    Mode currentMode() const;
    // Brings rows and selection up to date with the view model; every signal that may change
    // either leads here.
    void follow();
    void reset(Mode mode);
    void loadRows();
    // Replaces the rows of the current mode: the rows held, and the new ones, which replace
    // them through the store function. With allChanged every kept row changed (its texts
    // depend on something besides the row, like the typed keys or the search text).
    template<typename Row, typename Store>
    void replaceRows(
        const std::vector<Row> &held, const std::vector<Row> &next, bool allChanged, Store store);
    int selectionInViewModel() const;
    void followSelection();

    SearchViewModel &m_viewModel;
    Mode m_mode = Mode::sequence;
    int m_selectedRow = -1;
    // The rows of the current mode, as the view model gave them (the other modes' stay empty).
    std::vector<ListItem> m_sequenceRows;
    qsizetype m_typedKeyCount = 0;
    std::vector<SearchResult> m_searchResults;
    // The whole list a script printed, and its entries that pass the filter.
    std::vector<ListEntry> m_listEntries;
    std::vector<ListEntry> m_filteredEntries;
    QString m_text; // the search or list filter text
    // The catalog the search results point into, and the query of the search text.
    std::shared_ptr<const SearchCatalog> m_catalog;
    std::optional<MatchQuery> m_query;
    // Row texts built so far, by row; a changed row's entry is cleared.
    mutable std::vector<std::optional<ResultDisplayItem>> m_rows;
};

} // namespace runel
