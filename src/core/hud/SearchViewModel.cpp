#include "SearchViewModel.h"

#include "TextMatcher.h"
#include "core/SystemServices.h"
#include "core/index/Labels.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"

#include <QPointer>
#include <array>

namespace runel {
namespace {

// The selection after a move of step rows in a list of count rows, wrapping at both ends.
int wrapped(int index, int step, qsizetype count)
{
    const int n = int(count);
    return ((index + step) % n + n) % n;
}

} // namespace

SearchViewModel::ChangeBatch::ChangeBatch(SearchViewModel &model)
    : m_model(model)
{
    if (m_model.m_batchDepth++ == 0) {
        m_model.m_wasInputBlocked = m_model.isInputBlocked();
        m_model.m_wasShowingResultsPanel = m_model.shouldShowResultsPanel();
    }
}

SearchViewModel::ChangeBatch::~ChangeBatch()
{
    if (--m_model.m_batchDepth == 0)
        m_model.publishChanges();
}

SearchViewModel::SearchViewModel(ConfigManager &configManager, ScriptStore &scriptStore,
    LogStore &logStore, SystemServices &services, QObject *parent)
    : QObject(parent)
    , m_configManager(configManager)
    , m_scriptStore(scriptStore)
    , m_services(services)
    , m_logStore(logStore)
    , m_search(configManager, scriptStore, logStore)
    , m_runFlow(*this, configManager, scriptStore, logStore, services)
{
    SearchCatalog::buildWithIndexes(scriptStore);
    connect(&scriptStore, &ScriptStore::scriptIndexChanged, this, &SearchViewModel::followIndex);
    // The order of search results follows the run history only while ranking by use is on.
    connect(&logStore, &LogStore::runHistoryChanged, this, [this] {
        if (m_configManager.rankByUse())
            searchResultsMayHaveChanged();
    });
    connect(&configManager, &ConfigManager::rankByUseChanged, this,
        &SearchViewModel::searchResultsMayHaveChanged);
    // The first build's end, with an index or an error, releases a sequence that waits for it.
    for (const auto signal : { &ScriptStore::scriptIndexChanged, &ScriptStore::errorChanged }) {
        connect(&scriptStore, signal, this, [this] {
            if (auto keys = std::exchange(m_sequenceAwaitingIndex, std::nullopt))
                runSequence(*keys);
        });
    }
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this,
        [this] { set(m_refreshMessage, std::optional<QString>(), Field::refreshMessage); });
}

SearchViewModel::~SearchViewModel() = default;

void SearchViewModel::publishChanges()
{
    using Signal = void (SearchViewModel::*)();
    static constexpr std::array<Signal, size_t(Field::count)> signalOf {
        &SearchViewModel::keysChanged,
        &SearchViewModel::executionStatusChanged,
        &SearchViewModel::selectedIndexChanged,
        &SearchViewModel::isBrowsingResultsChanged,
        &SearchViewModel::isResultsPanelVisibleChanged,
        &SearchViewModel::latestOutputChanged,
        &SearchViewModel::refreshMessageChanged,
        &SearchViewModel::listFilterTextChanged,
        &SearchViewModel::selectedListIndexChanged,
        &SearchViewModel::isSearchModeChanged,
        &SearchViewModel::searchFilterTextChanged,
        &SearchViewModel::selectedSearchIndexChanged,
        &SearchViewModel::evaluationChanged,
        &SearchViewModel::searchResultsChanged,
        &SearchViewModel::argumentTextChanged,
    };
    // Taken before the first signal: a receiver may start an operation of its own, which
    // publishes its own changes, or close the HUD.
    const unsigned dirty = std::exchange(m_dirty, 0);
    const bool dismissRequested = std::exchange(m_dismissRequested, false);
    const bool blockedChanged = isInputBlocked() != m_wasInputBlocked;
    const bool panelChanged = shouldShowResultsPanel() != m_wasShowingResultsPanel;
    const auto has = [dirty](Field field) { return (dirty & (1u << unsigned(field))) != 0; };
    const bool listChanged = has(Field::executionStatus) || has(Field::listFilterText);

    QPointer<SearchViewModel> self(this);
    std::vector<Signal> emitted;
    for (size_t field = 0; field < signalOf.size(); ++field) {
        if (has(Field(field)))
            emitted.push_back(signalOf[field]);
    }
    if (listChanged)
        emitted.push_back(&SearchViewModel::filteredListChanged);
    if (blockedChanged)
        emitted.push_back(&SearchViewModel::isInputBlockedChanged);
    if (panelChanged)
        emitted.push_back(&SearchViewModel::shouldShowResultsPanelChanged);
    for (const Signal signal : emitted) {
        Q_EMIT(this->*signal)();
        if (!self)
            return;
    }
    if (dismissRequested) {
        // A copy: the callback may release this view model.
        if (std::function<void()> onDismiss = m_onDismiss)
            onDismiss();
    }
}

std::shared_ptr<const ScriptIndex> SearchViewModel::currentIndex() const
{
    return m_scriptStore.scriptIndex();
}

void SearchViewModel::searchResultsMayHaveChanged()
{
    ChangeBatch batch(*this);
    if (m_search.isActive()) {
        markChanged(Field::searchResults);
        if (size_t(m_search.selectedIndex()) >= searchResults().size())
            setSelectedSearchIndex(0);
    }
}

void SearchViewModel::followIndex()
{
    ChangeBatch batch(*this);
    searchResultsMayHaveChanged();
    // The evaluation points into the index it was made from; the new index may name other
    // scripts for the same keys.
    if (!m_keys.empty() && m_executionStatus.is(ExecutionStatus::Kind::idle))
        evaluate();
}

void SearchViewModel::setResultsPanelVisible(bool visible)
{
    set(m_isResultsPanelVisible, visible, Field::isResultsPanelVisible);
}

bool SearchViewModel::isInputBlocked() const
{
    using Kind = ExecutionStatus::Kind;
    const Kind kind = m_executionStatus.kind();
    return m_search.isActive() || kind == Kind::showingList || kind == Kind::failed
        || kind == Kind::runningForeground || kind == Kind::succeeded;
}

std::vector<ListEntry> SearchViewModel::filteredList() const
{
    const std::vector<ListEntry> *entries = m_executionStatus.entries();
    return entries ? TextMatcher::filter(m_listFilterText, *entries) : std::vector<ListEntry>();
}

std::shared_ptr<const SearchCatalog> SearchViewModel::searchCatalog() const
{
    return m_search.catalog();
}

const std::vector<SearchResult> &SearchViewModel::searchResults() const
{
    return m_search.results();
}

void SearchViewModel::setSearchText(const QString &text)
{
    ChangeBatch batch(*this);
    if (m_search.setText(text))
        markChanged(Field::searchFilterText);
}

void SearchViewModel::setSelectedSearchIndex(int index)
{
    ChangeBatch batch(*this);
    if (m_search.setSelectedIndex(index))
        markChanged(Field::selectedSearchIndex);
}

void SearchViewModel::setSearchMode(bool active)
{
    ChangeBatch batch(*this);
    if (m_search.setActive(active))
        markChanged(Field::isSearchMode);
}

bool SearchViewModel::shouldShowResultsPanel() const
{
    if (m_executionStatus.is(ExecutionStatus::Kind::awaitingArgument))
        return false;
    if (m_search.isActive() || m_executionStatus.is(ExecutionStatus::Kind::showingList))
        return true;
    if (m_isBrowsingResults)
        return !m_evaluation.resultItems.empty();
    return !m_keys.empty() && m_evaluation.resultItems.size() >= 2;
}

void SearchViewModel::evaluate(std::optional<CommandResolver::ResolveResult> resolved)
{
    ChangeBatch batch(*this);
    set(m_executionStatus, ExecutionStatus::idle(), Field::executionStatus);
    set(m_latestOutput, std::optional<QString>(), Field::latestOutput);
    set(m_refreshMessage, std::optional<QString>(), Field::refreshMessage);
    set(m_listFilterText, QString(), Field::listFilterText);
    set(m_selectedListIndex, 0, Field::selectedListIndex);
    set(m_selectedIndex, 0, Field::selectedIndex);
    set(m_isBrowsingResults, false, Field::isBrowsingResults);

    if (m_keys.empty()) {
        set(m_evaluation, Evaluation(), Field::evaluation);
        m_evaluatedIndex.reset();
        m_runFlow.cancelTimers();
        return;
    }
    const std::shared_ptr<const ScriptIndex> index = currentIndex();
    const bool enhance = m_configManager.enhanceLabels();
    Evaluation evaluation = resolved
        ? evaluateKeys(m_keys, std::move(*resolved), enhance)
        : evaluateKeys(m_keys, index->sequence.reachableItems, enhance);
    // The previous index lives until the new evaluation replaced the one pointing into it.
    const std::shared_ptr<const ScriptIndex> previous = std::exchange(m_evaluatedIndex, index);
    set(m_evaluation, std::move(evaluation), Field::evaluation);

    const auto &full = m_evaluation.resolveResult.fullMatches;
    m_runFlow.scheduleRun(full.size() == 1 ? full.front() : nullptr);
    const auto &rows = m_evaluation.resultItems;
    const bool autorun = m_configManager.autorunEnabled() && !rows.empty() && rows.front().isFile()
        && rows.front().sequenceItem()->file->metadata.pinned;
    m_runFlow.scheduleAutorun(autorun ? rows.front().sequenceItem() : nullptr);
}

void SearchViewModel::handleCharacter(const QString &character)
{
    ChangeBatch batch(*this);
    if (m_search.isActive()) {
        setSearchText(m_search.text() + character);
        setSelectedSearchIndex(0);
        return;
    }
    if (isInputBlocked())
        return;
    KeyGroup keys = m_keys;
    keys.push_back(keyOf(character));
    CommandResolver::ResolveResult resolved
        = CommandResolver::resolve(keys, currentIndex()->sequence.reachableItems);
    if (!resolved.fullMatches.empty() || !resolved.prefixMatches.empty()) {
        set(m_keys, std::move(keys), Field::keys);
        evaluate(std::move(resolved));
    } else if (!m_configManager.searchOnUnknownKey()) {
        m_services.beep();
    } else {
        enterSearchMode(joinedKeys(keys));
    }
}

void SearchViewModel::enterSearchMode(const QString &text)
{
    ChangeBatch batch(*this);
    setSearchText(text);
    setSelectedSearchIndex(0);
    setSearchMode(true);
    set(m_keys, KeyGroup(), Field::keys);
    markChanged(Field::searchResults);
    evaluate();
}

void SearchViewModel::exitSearchMode()
{
    ChangeBatch batch(*this);
    setSearchMode(false);
    setSearchText(QString());
    setSelectedSearchIndex(0);
}

void SearchViewModel::searchTextChanged(const QString &text)
{
    ChangeBatch batch(*this);
    setSearchText(text);
    setSelectedSearchIndex(0);
}

void SearchViewModel::handleBackspace()
{
    if (isInputBlocked() || m_keys.empty())
        return;
    ChangeBatch batch(*this);
    KeyGroup keys = m_keys;
    keys.pop_back();
    set(m_keys, std::move(keys), Field::keys);
    evaluate();
}

void SearchViewModel::handleEscape()
{
    // A foreground run goes on with the HUD closed, as when it is hidden; Control-C stops it.
    if (m_executionStatus.is(ExecutionStatus::Kind::runningForeground)) {
        ChangeBatch batch(*this);
        dismiss();
        return;
    }
    if (isInputBlocked())
        return;
    ChangeBatch batch(*this);
    if (m_keys.empty()) {
        dismiss();
        return;
    }
    set(m_keys, KeyGroup(), Field::keys);
    evaluate();
}

void SearchViewModel::handleCancel()
{
    if (m_executionStatus.is(ExecutionStatus::Kind::runningForeground))
        m_runFlow.coordinator().cancelRunningProcess();
}

void SearchViewModel::handleEnter(const QString &modifiers)
{
    const auto &rows = m_evaluation.resultItems;
    if (!shouldShowResultsPanel() || m_selectedIndex < 0 || size_t(m_selectedIndex) >= rows.size())
        return;
    ChangeBatch batch(*this);
    m_runFlow.cancelTimers();
    const ListItem row = rows[size_t(m_selectedIndex)];
    if (const SequenceItem *item = row.sequenceItem()) {
        run(*item->file, item->displayName, modifiers);
        return;
    }
    // A folder row types the rest of the folder's keys.
    for (const Key &key : row.folderRow().keys)
        handleCharacter(key);
}

void SearchViewModel::moveSelectionUp()
{
    const qsizetype count = qsizetype(m_evaluation.resultItems.size());
    if (count == 0)
        return;
    ChangeBatch batch(*this);
    m_runFlow.cancelTimers();
    set(m_isBrowsingResults, true, Field::isBrowsingResults);
    set(m_selectedIndex, wrapped(m_selectedIndex, -1, count), Field::selectedIndex);
}

void SearchViewModel::moveSelectionDown()
{
    const qsizetype count = qsizetype(m_evaluation.resultItems.size());
    if (count == 0)
        return;
    ChangeBatch batch(*this);
    m_runFlow.cancelTimers();
    // The first press with the panel hidden only shows the panel.
    if (m_isResultsPanelVisible)
        set(m_selectedIndex, wrapped(m_selectedIndex, 1, count), Field::selectedIndex);
    set(m_isBrowsingResults, true, Field::isBrowsingResults);
}

void SearchViewModel::moveSearchSelection(int step)
{
    const qsizetype count = qsizetype(searchResults().size());
    if (count > 0)
        setSelectedSearchIndex(wrapped(m_search.selectedIndex(), step, count));
}

void SearchViewModel::moveListSelection(int step)
{
    const qsizetype count = qsizetype(filteredList().size());
    if (count > 0)
        set(m_selectedListIndex, wrapped(m_selectedListIndex, step, count),
            Field::selectedListIndex);
}

void SearchViewModel::toggleSearchMode()
{
    if (m_search.isActive()) {
        exitSearchMode();
        return;
    }
    if (!isInputBlocked() && m_executionStatus.is(ExecutionStatus::Kind::idle))
        enterSearchMode(joinedKeys(m_keys));
}

void SearchViewModel::runSequence(const QString &keySequence)
{
    if (!m_scriptStore.hasLoaded() && m_scriptStore.isLoading()) {
        m_sequenceAwaitingIndex = keySequence;
        return;
    }
    m_sequenceAwaitingIndex.reset();
    ChangeBatch batch(*this);
    if (m_search.isActive())
        exitSearchMode();
    CommandResolver::Playback playback
        = CommandResolver::play(keySequence, currentIndex()->sequence.reachableItems);
    set(m_keys, std::move(playback.keys), Field::keys);
    if (m_keys.empty())
        evaluate();
    else
        evaluate(std::move(playback.resolved));
    if (playback.unknownKey) {
        // What the keys before it name is not what the sequence meant.
        m_runFlow.cancelTimers();
        m_services.beep();
        return;
    }
    const auto &full = m_evaluation.resolveResult.fullMatches;
    if (full.size() == 1) {
        const SequenceItem *item = full.front();
        run(*item->file, item->displayName, QString());
    }
}

void SearchViewModel::activateRow(int index, const QString &modifiers)
{
    if (index < 0)
        return;
    if (m_search.isActive()) {
        const std::vector<SearchResult> &results = searchResults();
        if (size_t(index) >= results.size())
            return;
        // The result points into the index; the run copies what it needs first.
        const SearchItem *item = results[size_t(index)].item;
        const FileItem file = *item->file;
        const QString name = item->displayName;
        m_runFlow.run(file, name, QString());
    } else if (m_executionStatus.is(ExecutionStatus::Kind::showingList)) {
        const std::vector<ListEntry> entries = filteredList();
        if (size_t(index) < entries.size())
            m_runFlow.runEntry(entries[size_t(index)], modifiers);
    }
}

void SearchViewModel::reloadScripts()
{
    if (m_executionStatus.is(ExecutionStatus::Kind::runningForeground))
        return;
    QPointer<SearchViewModel> self(this);
    m_scriptStore.reload([self] {
        if (!self)
            return;
        ChangeBatch batch(*self);
        if (!self->isInputBlocked()) {
            self->set(self->m_keys, KeyGroup(), Field::keys);
            self->evaluate();
        }
        self->set(self->m_refreshMessage, std::optional(QStringLiteral("Scripts reloaded")),
            Field::refreshMessage);
        // Restarted by every completed reload: the message shows its full time after the
        // latest one.
        self->m_refreshTimer.start(refreshMessageMs);
    });
}

QString SearchViewModel::labelOf(const FileItem &file) const
{
    return displayName(file, m_configManager.enhanceLabels());
}

void SearchViewModel::dismiss()
{
    // Carried out when the operation's batch ends, after its notifications.
    ChangeBatch batch(*this);
    m_dismissRequested = true;
}

} // namespace runel
