#include "SearchModeState.h"

#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"

#include <QDateTime>

namespace runel {

SearchModeState::SearchModeState(
    ConfigManager &configManager, ScriptStore &scriptStore, LogStore &logStore)
    : m_configManager(configManager)
    , m_scriptStore(scriptStore)
    , m_logStore(logStore)
{ }

std::shared_ptr<const SearchCatalog> SearchModeState::catalog() const
{
    return SearchCatalog::of(m_scriptStore.scriptIndex());
}

const std::vector<SearchResult> &SearchModeState::results() const
{
    std::shared_ptr<const ScriptIndex> index = m_scriptStore.scriptIndex();
    const std::optional<int> generation = m_configManager.rankByUse()
        ? std::optional(m_logStore.runHistoryGeneration())
        : std::nullopt;
    if (!m_cache || m_cache->index != index || m_cache->text != m_text
        || m_cache->historyGeneration != generation) {
        const std::shared_ptr<const SearchCatalog> current = catalog();
        std::span<const double> scores;
        if (generation) {
            if (!m_useScores || m_useScores->catalog != current
                || m_useScores->historyGeneration != *generation) {
                m_useScores = UseScores { current, *generation,
                    current->useScores(m_logStore.runHistory(), QDateTime::currentDateTimeUtc()) };
            }
            scores = m_useScores->scores;
        }
        std::vector<SearchResult> results = current->results(m_text, scores);
        m_cache = SearchCache { std::move(index), m_text, generation, std::move(results) };
    }
    return m_cache->results;
}

} // namespace runel
