#include "LogRunModel.h"

#include <QHash>
#include <QLocale>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

icu::UnicodeString unicode(const QString &text)
{
    return icu::UnicodeString(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

// The locale's own pattern for the fields the log shows ("MMM d, y, h:mm:ss a" in English).
std::unique_ptr<icu::DateFormat> makeDateFormat()
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(QLocale().name().toLatin1().constData());
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return {};
    const icu::UnicodeString pattern = generator->getBestPattern(unicode(u"yMMMdjms"_s), status);
    if (U_FAILURE(status))
        return {};
    auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status))
        return {};
    return format;
}

} // namespace

LogRunModel::LogRunModel(QObject *parent)
    : QAbstractListModel(parent)
    , m_dateFormat(makeDateFormat())
{ }

LogRunModel::~LogRunModel() = default;

void LogRunModel::setRuns(const QList<LogRunPtr> &runs)
{
    // The store keeps one order (date, then id), and a reload lists the runs it still has in
    // that order, as new objects for the finished ones. So rows are matched by id in one pass:
    // the rows gone are removed, the new ones inserted, the others replaced, and the list keeps
    // its place while the folder changes under it.
    QHash<QUuid, qsizetype> wanted;
    wanted.reserve(runs.size());
    for (qsizetype i = 0; i < runs.size(); ++i)
        wanted.insert(runs[i]->id(), i);
    for (qsizetype last = m_runs.size() - 1; last >= 0;) {
        if (wanted.contains(m_runs[last]->id())) {
            --last;
            continue;
        }
        qsizetype first = last;
        while (first > 0 && !wanted.contains(m_runs[first - 1]->id()))
            --first;
        beginRemoveRows({}, int(first), int(last));
        for (qsizetype row = first; row <= last; ++row)
            disconnect(m_runs[row].get(), nullptr, this, nullptr);
        m_runs.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }
    for (qsizetype row = 1; row < m_runs.size(); ++row) {
        if (wanted.value(m_runs[row - 1]->id()) > wanted.value(m_runs[row]->id())) {
            reset(runs);
            return;
        }
    }

    qsizetype firstChanged = -1, lastChanged = -1;
    qsizetype row = 0;
    for (qsizetype i = 0; i < runs.size();) {
        if (row < m_runs.size() && m_runs[row]->id() == runs[i]->id()) {
            if (m_runs[row] != runs[i]) {
                disconnect(m_runs[row].get(), nullptr, this, nullptr);
                m_runs[row] = runs[i];
                follow(runs[i]);
                firstChanged = firstChanged < 0 ? row : firstChanged;
                lastChanged = row;
            }
            ++row;
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < runs.size() && (row >= m_runs.size() || runs[end]->id() != m_runs[row]->id()))
            ++end;
        beginInsertRows({}, int(row), int(row + end - i - 1));
        for (qsizetype k = i; k < end; ++k) {
            m_runs.insert(row + (k - i), runs[k]);
            follow(runs[k]);
        }
        endInsertRows();
        row += end - i;
        i = end;
    }
    if (firstChanged >= 0)
        Q_EMIT dataChanged(index(int(firstChanged)), index(int(lastChanged)));
}

void LogRunModel::reset(const QList<LogRunPtr> &runs)
{
    beginResetModel();
    for (const LogRunPtr &run : std::as_const(m_runs))
        disconnect(run.get(), nullptr, this, nullptr);
    m_runs = runs;
    for (const LogRunPtr &run : std::as_const(m_runs))
        follow(run);
    endResetModel();
}

void LogRunModel::follow(const LogRunPtr &run)
{
    // Only a run still going on can change; ten thousand finished runs need no connection.
    if (!run->isRunning())
        return;
    const LogRun *watched = run.get();
    connect(run.get(), &LogRun::exitStatusChanged, this, [this, watched] { ended(watched); });
}

void LogRunModel::ended(const LogRun *run)
{
    // Running runs are the newest: look from the end.
    for (qsizetype row = m_runs.size() - 1; row >= 0; --row) {
        if (m_runs[row].get() == run) {
            const QModelIndex changed = index(int(row));
            Q_EMIT dataChanged(changed, changed);
            return;
        }
    }
}

int LogRunModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_runs.size());
}

QString LogRunModel::statusText(const std::optional<RunExitStatus> &status)
{
    if (!status)
        return u"Running"_s;
    switch (*status) {
    case RunExitStatus::success:
        return u"Succeeded"_s;
    case RunExitStatus::failure:
        return u"Failed"_s;
    case RunExitStatus::cancelled:
        return u"Cancelled"_s;
    case RunExitStatus::interrupted:
        break;
    }
    return u"Interrupted"_s;
}

QString LogRunModel::dateText(const QDateTime &date) const
{
    if (!m_dateFormat)
        return QLocale().toString(date.toLocalTime(), QLocale::ShortFormat);
    icu::UnicodeString text;
    m_dateFormat->format(UDate(date.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

QVariant LogRunModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_runs.size())
        return {};
    const LogRun &run = *m_runs[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return run.scriptName();
    case Qt::ToolTipRole:
        return u"Open log"_s;
    case Qt::AccessibleTextRole:
        return run.scriptName() + u", "_s + statusText(run.exitStatus());
    case statusTextRole:
        return statusText(run.exitStatus());
    case dateTextRole:
        return dateText(run.date());
    case logPathRole:
        return run.logPath();
    default:
        return {};
    }
}

} // namespace runel::gui
