#pragma once

#include "core/log/LogRun.h"

#include <QAbstractListModel>
#include <memory>
#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateFormat;
U_NAMESPACE_END

namespace runel::gui {

// The runs of the log as rows, oldest first. A new list changes only the rows that differ (by
// run id), so a long list keeps its scroll position while scripts run and the folder is read
// again; a running run's row changes when it ends.
class LogRunModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        statusTextRole = Qt::UserRole + 1,
        dateTextRole,
        logPathRole,
    };

    explicit LogRunModel(QObject *parent = nullptr);
    ~LogRunModel() override;

    void setRuns(const QList<LogRunPtr> &runs);
    const LogRun &run(int row) const { return *m_runs[row]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // "Succeeded", "Failed", "Cancelled", "Interrupted", or "Running" without a status.
    static QString statusText(const std::optional<RunExitStatus> &status);
    // The start in the locale's style: year, abbreviated month, day, hour, minute and second.
    QString dateText(const QDateTime &date) const;

private:
    void reset(const QList<LogRunPtr> &runs);
    void follow(const LogRunPtr &run);
    void ended(const LogRun *run);

    QList<LogRunPtr> m_runs;
    std::unique_ptr<icu::DateFormat> m_dateFormat;
};

} // namespace runel::gui
