#pragma once

#include "SettingsContext.h"
#include "SettingsForm.h"

#include <QWidget>

class QPushButton;

namespace runel::gui {

class LogRunModel;

// The Log tab: the runs of the log, live while the tab shows; a click opens a run's output.
// The list is read from disk whenever the tab shows and let go when it hides.
class LogView : public QWidget {
    Q_OBJECT
public:
    enum class Shows { loading, empty, list };

    explicit LogView(SettingsContext &context, QWidget *parent = nullptr);

    Shows shows() const { return m_shows; }
    QListView *list() const { return m_pages->list(); }
    LogRunModel *model() const { return m_model; }
    QPushButton *clearButton() const { return m_clear; }
    PlaceholderView *placeholder() const { return m_pages->placeholder(); }
    QList<QAction *> rowActions(int row, QWidget *menuParent);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void update();

    SettingsContext &m_context;
    LogRunModel *m_model;
    ListPages *m_pages;
    QPushButton *m_clear;
    Shows m_shows = Shows::empty;
};

} // namespace runel::gui
