#include "RunHistory.h"

#include <cmath>

namespace runel {

RunHistory RunHistory::fromRecords(const QList<LogRecord> &records, const QDateTime &now)
{
    RunHistory history;
    history.m_recentSince = now.addDays(-recentDays);
    // Newest first, so each script's list fills from its newest run and stops at the cap.
    for (auto record = records.crbegin(); record != records.crend(); ++record)
        history.addRun(*record, false);
    return history;
}

void RunHistory::add(const LogRecord &record)
{
    addRun(record, true);
}

void RunHistory::addRun(const LogRecord &record, bool newest)
{
    if (record.scriptPath.isEmpty())
        return;
    Entry &entry = m_entries[record.scriptPath];
    if (m_recentSince.isNull() || record.date >= m_recentSince)
        ++entry.recentRuns;
    if (entry.lastRun.isNull() || record.date > entry.lastRun)
        entry.lastRun = record.date;
    if (record.arguments.size() != 1 || record.arguments.front().isEmpty())
        return;
    const QString &argument = record.arguments.front();
    QStringList &recalled = entry.recalledArguments;
    if (newest) {
        recalled.removeOne(argument);
        recalled.prepend(argument);
        if (recalled.size() > maxRecalled)
            recalled.removeLast();
    } else if (recalled.size() < maxRecalled && !recalled.contains(argument)) {
        recalled.append(argument);
    }
}

const RunHistory::Entry *RunHistory::entry(const QString &scriptPath) const
{
    const auto found = m_entries.constFind(scriptPath);
    return found == m_entries.cend() ? nullptr : &*found;
}

double RunHistory::useScore(const QString &scriptPath, const QDateTime &now) const
{
    const Entry *found = entry(scriptPath);
    if (!found || found->lastRun.isNull())
        return 0.0;
    // A run dated in the future (a clock set back) counts as just now, not as more than recent.
    const double days = std::max<qint64>(0, found->lastRun.secsTo(now)) / 86400.0;
    return 5.0 * std::log(1.0 + 0.1 * found->recentRuns) + 10.0 * std::exp(-days / 30.0);
}

} // namespace runel
