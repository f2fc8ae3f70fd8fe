#include "LogRunModel.h"

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
    const bool appended
        = runs.size() >= m_runs.size() && std::equal(m_runs.begin(), m_runs.end(), runs.begin());
    if (appended && runs.size() == m_runs.size())
        return;
    if (appended) {
        beginInsertRows({}, int(m_runs.size()), int(runs.size()) - 1);
        for (qsizetype i = m_runs.size(); i < runs.size(); ++i) {
            m_runs.append(runs[i]);
            follow(runs[i]);
        }
        endInsertRows();
        return;
    }
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
