#pragma once

#include "SettingsContext.h"
#include "SettingsForm.h"

#include <QTimer>
#include <QWidget>

class QFileSystemWatcher;
class QLabel;
class QPushButton;

namespace runel::gui {

class LogRunModel;

// The Log tab: the runs of the log, live while the tab shows; a click opens a run's output.
// The list is read from disk whenever the tab shows, and again whenever the log folder changes
// while it shows (runs of `runel run`, the folder deleted); the folder is watched only then, and
// the list let go when the tab hides.
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
    // Why the last run could not be opened; empty when it was, or none was tried.
    QString openProblem() const;
    QList<QAction *> rowActions(int row, QWidget *menuParent);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void update();
    void openLog(const QString &path, const QString &scriptName);
    // Watches the log folder and the folder that holds it, so its deletion and re-creation are
    // seen too.
    void watchFolder();

    SettingsContext &m_context;
    LogRunModel *m_model;
    ListPages *m_pages;
    QPushButton *m_clear;
    QLabel *m_openProblem;
    // Only while the tab shows; a burst of changes (a run's record written twice) is read once.
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_folderChanged;
    Shows m_shows = Shows::empty;
};

} // namespace runel::gui
