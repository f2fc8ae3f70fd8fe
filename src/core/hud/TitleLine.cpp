#include "TitleLine.h"

#include "SearchViewModel.h"

namespace runel {

bool looksLikeJson(QStringView line)
{
    if (line.isEmpty())
        return false;
    const QChar first = line.front();
    if (first == QLatin1Char('"') || first == QLatin1Char('{'))
        return true;
    return first == QLatin1Char('[') && line.size() > 1
        && (line[1] == QLatin1Char('{') || line[1] == QLatin1Char('"'));
}

QString TitleLine::text(const std::optional<QString> &latestOutput,
    const std::optional<QString> &refreshMessage, const QString &hudTitle)
{
    if (!latestOutput)
        m_shownOutput.reset();
    else if (!looksLikeJson(*latestOutput))
        m_shownOutput = latestOutput;
    if (m_shownOutput)
        return *m_shownOutput;
    if (refreshMessage)
        return *refreshMessage;
    return hudTitle;
}

QString hudTitle(const SearchViewModel &viewModel)
{
    // Until the script prints something worth showing, the title says how to stop it.
    if (viewModel.executionStatus().is(ExecutionStatus::Kind::runningForeground))
        return QStringLiteral("Ctrl+C to stop");
    if (viewModel.isSearchMode())
        return searchTitle(viewModel.searchFilterText(), viewModel.searchResults());
    return sequenceTitle(viewModel.keys(), viewModel.evaluation());
}

QString TitleLine::text(const SearchViewModel &viewModel)
{
    return text(viewModel.latestOutput(), viewModel.refreshMessage(), hudTitle(viewModel));
}

} // namespace runel
