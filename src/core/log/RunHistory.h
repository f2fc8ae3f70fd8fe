#pragma once

#include "LogRecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace runel {

// What the run log says about each script's use, by the script's absolute path: the arguments
// it was last given, for the argument prompt to offer again, and how often and how lately it
// ran, for ranking. A plain value, built once from the log's records (on a worker thread) and
// then kept up to date run by run. Records without a script path (older ones) are left out.
class RunHistory {
public:
    static constexpr qsizetype maxRecalled = 20;
    static constexpr int recentDays = 90;

    struct Entry {
        // The single arguments of its runs, newest first, each once, at most maxRecalled: what
        // one argument field can give again. Runs given several arguments (a list entry) or an
        // empty one add nothing.
        QStringList recalledArguments;
        int recentRuns = 0; // runs dated within recentDays before the history's time
        QDateTime lastRun; // null when it never ran
        bool operator==(const Entry &) const = default;
    };

    RunHistory() = default;
    // records oldest first, as LogStore::loadRecords gives them; now decides which runs are
    // recent.
    static RunHistory fromRecords(const QList<LogRecord> &records, const QDateTime &now);

    // Counts a run that is newer than every record the history holds.
    void add(const LogRecord &record);

    // Null for a script the log has no run of.
    const Entry *entry(const QString &scriptPath) const;
    bool isEmpty() const { return m_entries.isEmpty(); }

    // How strongly use pulls a script up the search results: 5·ln(1 + 0.1·runs) for the runs of
    // the last recentDays, plus 10·e^(−days since the last run / 30). 0 for a script never run.
    double useScore(const QString &scriptPath, const QDateTime &now) const;

    bool operator==(const RunHistory &) const = default;

private:
    void addRun(const LogRecord &record, bool newest);

    QHash<QString, Entry> m_entries;
    QDateTime m_recentSince; // runs from this time on are recent; null: every run is
};

} // namespace runel
