#pragma once

#include <QWidget>

class QLabel;
class QListView;

namespace runel {
class ResultListModel;
class SearchViewModel;
} // namespace runel

namespace runel::gui {

// The results panel's content: the rows of the current mode in a list at most 284 px high,
// or "No Results". Keeps the selected row in view with one neighbour visible; a click on a
// row activates it with the modifiers held.
class ResultsWindowView : public QWidget {
    Q_OBJECT

public:
    // The view model and model must outlive the view.
    ResultsWindowView(
        SearchViewModel &viewModel, ResultListModel &model, QWidget *parent = nullptr);

    QListView *list() const { return m_list; }
    bool isShowingEmptyState() const;

    static constexpr int maximumListHeight = 284;
    static constexpr int spacer = 12; // above and below the rows

protected:
    void changeEvent(QEvent *event) override;

private:
    void fitHeight();
    void scrollForSelection(int row, int previous);

    SearchViewModel &m_viewModel;
    ResultListModel &m_model;
    QListView *m_list;
    QLabel *m_empty;
};

} // namespace runel::gui
