#pragma once

#include "SearchCatalog.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace runel {

class ConfigManager;
class LogStore;
struct ScriptIndex;
class ScriptStore;

// The state of the HUD's search mode: whether it is on, the search text, the selected result,
// and the results of the text over the store's current index. The results are worked out once
// per index, text and (while ranking by use) run history, and stay valid until one of those
// changes. Notifies nobody: the view model that owns it does.
class SearchModeState {
public:
    // The collaborators must outlive the state.
    SearchModeState(ConfigManager &configManager, ScriptStore &scriptStore, LogStore &logStore);

    bool isActive() const { return m_isActive; }
    const QString &text() const { return m_text; }
    int selectedIndex() const { return m_selectedIndex; }

    // Each returns whether the value changed.
    bool setActive(bool active) { return assign(m_isActive, active); }
    bool setText(const QString &text) { return assign(m_text, text); }
    bool setSelectedIndex(int index) { return assign(m_selectedIndex, index); }

    const std::vector<SearchResult> &results() const;
    // The catalog of the current index: the one results() are found in.
    std::shared_ptr<const SearchCatalog> catalog() const;

private:
    template<typename T> static bool assign(T &field, const T &value)
    {
        if (field == value)
            return false;
        field = value;
        return true;
    }

    ConfigManager &m_configManager;
    ScriptStore &m_scriptStore;
    LogStore &m_logStore;

    bool m_isActive = false;
    QString m_text;
    int m_selectedIndex = 0;

    // The last search: the results point into the index, which the cache keeps alive.
    struct SearchCache {
        std::shared_ptr<const ScriptIndex> index;
        QString text;
        std::optional<int> historyGeneration; // the run history ranked by; none: not by use
        std::vector<SearchResult> results;
    };
    mutable std::optional<SearchCache> m_cache;
    // The use scores of a catalog's items, made once per catalog and run history.
    struct UseScores {
        std::shared_ptr<const SearchCatalog> catalog;
        int historyGeneration = 0;
        std::vector<double> scores;
    };
    mutable std::optional<UseScores> m_useScores;
};

} // namespace runel
