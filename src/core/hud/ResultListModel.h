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
// rows. Follows the view model: the model is reset only when the rows themselves changed, and
// a moved selection updates just the two rows involved. Highlight ranges are given in UTF-16
// code units, ready for drawing.
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

    // Brings the rows up to date with the view model; connected to its change signal.
    void refresh();

Q_SIGNALS:
    // The selection moved from previous to row (either may be -1); emitted after the rows are
    // up to date, also after a reset.
    void selectionMoved(int row, int previous);

private:
    // What the rows are made of; equal snapshots give equal rows.
    struct Snapshot {
        Mode mode = Mode::sequence;
        std::vector<ListItem> sequenceRows;
        qsizetype typedKeyCount = 0;
        std::vector<SearchResult> searchResults;
        std::vector<ListEntry> listEntries;
        QString text; // the search or list filter text
        bool operator==(const Snapshot &) const = default;
    };
    Snapshot snapshot() const;
    int selectionIn(const Snapshot &snapshot) const;
    int count(const Snapshot &snapshot) const;

    SearchViewModel &m_viewModel;
    Mode m_mode = Mode::sequence;
    Snapshot m_snapshot;
    int m_selectedRow = -1;
    // The catalog the search results point into, and the query of the search text.
    std::shared_ptr<const SearchCatalog> m_catalog;
    std::optional<MatchQuery> m_query;
    // Row texts built so far, by row; cleared on every reset.
    mutable std::vector<std::optional<ResultDisplayItem>> m_rows;
};

} // namespace runel
