#include "SearchViewModel.h"

#include "TextMatcher.h"
#include "core/SystemServices.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"

#include <QPointer>
#include <array>

namespace runel {
namespace {

int milliseconds(double seconds)
{
    return int(seconds * 1000.0 + 0.5);
}

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
    , m_executionCoordinator(configManager, logStore, services)
{
    // The coordinator is a member: it cannot outlive the view model its handler points to.
    m_executionCoordinator.setOnEvent(
        [this](const ScriptExecutionCoordinator::Event &event) { handleEvent(event); });
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
    for (QTimer *timer : { &m_pendingTimer, &m_autorunTimer, &m_refreshTimer })
        timer->setSingleShot(true);
    connect(&m_pendingTimer, &QTimer::timeout, this, [this] {
        if (auto pending = std::exchange(m_pendingRun, std::nullopt))
            run(pending->first, pending->second, QString());
    });
    connect(&m_autorunTimer, &QTimer::timeout, this, [this] {
        auto pending = std::exchange(m_autorunRun, std::nullopt);
        if (pending && m_configManager.autorunEnabled())
            run(pending->first, pending->second, QString());
    });
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
    if (!emitted.empty())
        emitted.push_back(&SearchViewModel::changed);
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
    if (m_isSearchMode) {
        markChanged(Field::searchResults);
        if (size_t(m_selectedSearchIndex) >= searchResults().size())
            set(m_selectedSearchIndex, 0, Field::selectedSearchIndex);
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
    return m_isSearchMode || kind == Kind::showingList || kind == Kind::failed
        || kind == Kind::runningForeground || kind == Kind::succeeded;
}

std::vector<ListEntry> SearchViewModel::filteredList() const
{
    const std::vector<ListEntry> *entries = m_executionStatus.entries();
    return entries ? TextMatcher::filter(m_listFilterText, *entries) : std::vector<ListEntry>();
}

std::shared_ptr<const SearchCatalog> SearchViewModel::searchCatalog() const
{
    return SearchCatalog::of(currentIndex());
}

const std::vector<SearchResult> &SearchViewModel::searchResults() const
{
    std::shared_ptr<const ScriptIndex> index = currentIndex();
    const std::optional<int> generation = m_configManager.rankByUse()
        ? std::optional(m_logStore.runHistoryGeneration())
        : std::nullopt;
    if (!m_searchCache || m_searchCache->index != index || m_searchCache->text != m_searchFilterText
        || m_searchCache->historyGeneration != generation) {
        const std::shared_ptr<const SearchCatalog> catalog = searchCatalog();
        std::span<const double> scores;
        if (generation) {
            if (!m_useScores || m_useScores->catalog != catalog
                || m_useScores->historyGeneration != *generation) {
                m_useScores = UseScores { catalog, *generation,
                    catalog->useScores(m_logStore.runHistory(), QDateTime::currentDateTimeUtc()) };
            }
            scores = m_useScores->scores;
        }
        std::vector<SearchResult> results = catalog->results(m_searchFilterText, scores);
        m_searchCache
            = SearchCache { std::move(index), m_searchFilterText, generation, std::move(results) };
    }
    return m_searchCache->results;
}

bool SearchViewModel::shouldShowResultsPanel() const
{
    if (m_executionStatus.is(ExecutionStatus::Kind::awaitingArgument))
        return false;
    if (m_isSearchMode || m_executionStatus.is(ExecutionStatus::Kind::showingList))
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
        cancelTimers();
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
    scheduleRun(full.size() == 1 ? full.front() : nullptr);
    const auto &rows = m_evaluation.resultItems;
    const bool autorun = m_configManager.autorunEnabled() && !rows.empty() && rows.front().isFile()
        && rows.front().sequenceItem()->file->metadata.pinned;
    scheduleAutorun(autorun ? rows.front().sequenceItem() : nullptr);
}

void SearchViewModel::scheduleRun(const SequenceItem *item)
{
    m_pendingTimer.stop();
    m_pendingRun.reset();
    if (!item)
        return;
    m_pendingRun.emplace(*item->file, item->displayName);
    m_pendingTimer.start(milliseconds(m_configManager.scriptDelay()));
}

void SearchViewModel::scheduleAutorun(const SequenceItem *item)
{
    m_autorunTimer.stop();
    m_autorunRun.reset();
    if (!item)
        return;
    m_autorunRun.emplace(*item->file, item->displayName);
    m_autorunTimer.start(milliseconds(m_configManager.autorunDelay()));
}

void SearchViewModel::cancelTimers()
{
    scheduleRun(nullptr);
    scheduleAutorun(nullptr);
}

void SearchViewModel::handleCharacter(const QString &character)
{
    ChangeBatch batch(*this);
    if (m_isSearchMode) {
        set(m_searchFilterText, m_searchFilterText + character, Field::searchFilterText);
        set(m_selectedSearchIndex, 0, Field::selectedSearchIndex);
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
    set(m_searchFilterText, text, Field::searchFilterText);
    set(m_selectedSearchIndex, 0, Field::selectedSearchIndex);
    set(m_isSearchMode, true, Field::isSearchMode);
    set(m_keys, KeyGroup(), Field::keys);
    markChanged(Field::searchResults);
    evaluate();
}

void SearchViewModel::exitSearchMode()
{
    ChangeBatch batch(*this);
    set(m_isSearchMode, false, Field::isSearchMode);
    set(m_searchFilterText, QString(), Field::searchFilterText);
    set(m_selectedSearchIndex, 0, Field::selectedSearchIndex);
}

void SearchViewModel::searchTextChanged(const QString &text)
{
    ChangeBatch batch(*this);
    set(m_searchFilterText, text, Field::searchFilterText);
    set(m_selectedSearchIndex, 0, Field::selectedSearchIndex);
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
        m_executionCoordinator.cancelRunningProcess();
}

void SearchViewModel::handleEnter(const QString &modifiers)
{
    const auto &rows = m_evaluation.resultItems;
    if (!shouldShowResultsPanel() || m_selectedIndex < 0 || size_t(m_selectedIndex) >= rows.size())
        return;
    ChangeBatch batch(*this);
    cancelTimers();
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
    cancelTimers();
    set(m_isBrowsingResults, true, Field::isBrowsingResults);
    set(m_selectedIndex, wrapped(m_selectedIndex, -1, count), Field::selectedIndex);
}

void SearchViewModel::moveSelectionDown()
{
    const qsizetype count = qsizetype(m_evaluation.resultItems.size());
    if (count == 0)
        return;
    ChangeBatch batch(*this);
    cancelTimers();
    // The first press with the panel hidden only shows the panel.
    if (m_isResultsPanelVisible)
        set(m_selectedIndex, wrapped(m_selectedIndex, 1, count), Field::selectedIndex);
    set(m_isBrowsingResults, true, Field::isBrowsingResults);
}

void SearchViewModel::moveSearchSelection(int step)
{
    const qsizetype count = qsizetype(searchResults().size());
    if (count > 0)
        set(m_selectedSearchIndex, wrapped(m_selectedSearchIndex, step, count),
            Field::selectedSearchIndex);
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
    if (m_isSearchMode) {
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
    if (m_isSearchMode)
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
        cancelTimers();
        m_services.beep();
        return;
    }
    const auto &full = m_evaluation.resolveResult.fullMatches;
    if (full.size() == 1) {
        const SequenceItem *item = full.front();
        run(*item->file, item->displayName, QString());
    }
}

} // namespace runel
