#include "SearchViewModel.h"

#include "SystemServices.h"
#include "execution/SoundRule.h"
#include "hud/TextMatcher.h"
#include "index/Labels.h"
#include "index/ScriptStore.h"
#include "settings/ConfigManager.h"
#include "text/Text.h"

#include <QPointer>

namespace runel {
namespace {

QString joined(const KeyGroup &keys)
{
    QString text;
    for (const Key &key : keys)
        text += key;
    return text;
}

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

SearchViewModel::SearchViewModel(ConfigManager &configManager, ScriptStore &scriptStore,
    LogStore &logStore, SystemServices &services, QObject *parent)
    : QObject(parent)
    , m_configManager(configManager)
    , m_scriptStore(scriptStore)
    , m_services(services)
    , m_executionCoordinator(configManager, logStore, services)
{
    // The coordinator is a member: it cannot outlive the view model its handler points to.
    m_executionCoordinator.setOnEvent(
        [this](const ScriptExecutionCoordinator::Event &event) { handleEvent(event); });
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
        [this] { set(m_refreshMessage, std::optional<QString>()); });
}

SearchViewModel::~SearchViewModel() = default;

std::shared_ptr<const ScriptIndex> SearchViewModel::currentIndex() const
{
    return m_scriptStore.scriptIndex();
}

void SearchViewModel::setResultsPanelVisible(bool visible)
{
    set(m_isResultsPanelVisible, visible);
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

std::vector<SearchResult> SearchViewModel::searchResults() const
{
    return SearchCatalog::of(currentIndex())->results(m_searchFilterText);
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
    set(m_executionStatus, ExecutionStatus::idle());
    set(m_latestOutput, std::optional<QString>());
    set(m_refreshMessage, std::optional<QString>());
    set(m_listFilterText, QString());
    set(m_selectedListIndex, 0);
    set(m_selectedIndex, 0);
    set(m_isBrowsingResults, false);

    if (m_keys.empty()) {
        set(m_evaluation, Evaluation());
        m_evaluatedIndex.reset();
        scheduleRun(nullptr);
        scheduleAutorun(nullptr);
        return;
    }
    const std::shared_ptr<const ScriptIndex> index = currentIndex();
    const bool enhance = m_configManager.enhanceLabels();
    Evaluation evaluation = resolved
        ? evaluateKeys(m_keys, std::move(*resolved), enhance)
        : evaluateKeys(m_keys, index->sequence.reachableItems, enhance);
    // The previous index lives until the new evaluation replaced the one pointing into it.
    const std::shared_ptr<const ScriptIndex> previous = std::exchange(m_evaluatedIndex, index);
    set(m_evaluation, std::move(evaluation));

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

void SearchViewModel::handleCharacter(const QString &character)
{
    if (m_isSearchMode) {
        set(m_searchFilterText, m_searchFilterText + character);
        set(m_selectedSearchIndex, 0);
        return;
    }
    if (isInputBlocked())
        return;
    KeyGroup keys = m_keys;
    keys.push_back(character);
    CommandResolver::ResolveResult resolved
        = CommandResolver::resolve(keys, currentIndex()->sequence.reachableItems);
    if (!resolved.fullMatches.empty() || !resolved.prefixMatches.empty()) {
        set(m_keys, std::move(keys));
        evaluate(std::move(resolved));
    } else if (!m_configManager.searchOnUnknownKey()) {
        m_services.beep();
    } else {
        enterSearchMode(joined(keys));
    }
}

void SearchViewModel::enterSearchMode(const QString &text)
{
    set(m_searchFilterText, text);
    set(m_selectedSearchIndex, 0);
    set(m_isSearchMode, true);
    set(m_keys, KeyGroup());
    evaluate();
}

void SearchViewModel::exitSearchMode()
{
    set(m_isSearchMode, false);
    set(m_searchFilterText, QString());
    set(m_selectedSearchIndex, 0);
}

void SearchViewModel::searchTextChanged(const QString &text)
{
    set(m_searchFilterText, text);
    set(m_selectedSearchIndex, 0);
}

void SearchViewModel::handleBackspace()
{
    if (isInputBlocked() || m_keys.empty())
        return;
    KeyGroup keys = m_keys;
    keys.pop_back();
    set(m_keys, std::move(keys));
    evaluate();
}

void SearchViewModel::handleEscape()
{
    if (isInputBlocked())
        return;
    if (m_keys.empty()) {
        dismiss();
        return;
    }
    set(m_keys, KeyGroup());
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
    scheduleRun(nullptr);
    scheduleAutorun(nullptr);
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
    scheduleRun(nullptr);
    scheduleAutorun(nullptr);
    set(m_isBrowsingResults, true);
    set(m_selectedIndex, wrapped(m_selectedIndex, -1, count));
}

void SearchViewModel::moveSelectionDown()
{
    const qsizetype count = qsizetype(m_evaluation.resultItems.size());
    if (count == 0)
        return;
    scheduleRun(nullptr);
    scheduleAutorun(nullptr);
    // The first press with the panel hidden only shows the panel.
    if (m_isResultsPanelVisible)
        set(m_selectedIndex, wrapped(m_selectedIndex, 1, count));
    set(m_isBrowsingResults, true);
}

void SearchViewModel::moveSearchSelection(int step)
{
    const qsizetype count = qsizetype(searchResults().size());
    if (count > 0)
        set(m_selectedSearchIndex, wrapped(m_selectedSearchIndex, step, count));
}

void SearchViewModel::moveListSelection(int step)
{
    const qsizetype count = qsizetype(filteredList().size());
    if (count > 0)
        set(m_selectedListIndex, wrapped(m_selectedListIndex, step, count));
}

void SearchViewModel::toggleSearchMode()
{
    if (m_isSearchMode) {
        exitSearchMode();
        return;
    }
    if (!isInputBlocked() && m_executionStatus.is(ExecutionStatus::Kind::idle))
        enterSearchMode(joined(m_keys));
}

void SearchViewModel::runSequence(const QString &keySequence)
{
    set(m_keys, KeyGroup());
    evaluate();
    if (m_isSearchMode)
        exitSearchMode();
    for (const QString &character : text::characters(keySequence)) {
        const auto &resolved = m_evaluation.resolveResult;
        if (!m_keys.empty() && resolved.prefixMatches.empty() && resolved.fullMatches.size() < 2)
            break;
        handleCharacter(character);
    }
    const auto &full = m_evaluation.resolveResult.fullMatches;
    if (full.size() == 1) {
        scheduleRun(nullptr);
        const SequenceItem *item = full.front();
        run(*item->file, item->displayName, QString());
    }
}

void SearchViewModel::run(
    const FileItem &file, const QString &displayName, const QString &modifiers)
{
    const bool wasSearching = m_isSearchMode;
    const QString searchText = m_searchFilterText;
    if (wasSearching)
        exitSearchMode();
    if (file.metadata.fallback.kind != FallbackMode::Kind::disabled && wasSearching) {
        runWithArguments(file, displayName, { searchText }, QString());
        return;
    }
    if (const auto &argument = file.metadata.argument) {
        set(m_executionStatus,
            ExecutionStatus::awaitingArgument(
                { argument->placeholder, substituteClipboard(argument->value) }, file));
        return;
    }
    runWithArguments(file, displayName, {}, modifiers);
}

void SearchViewModel::runWithArguments(const FileItem &file, const QString &displayName,
    const QStringList &arguments, const QString &modifiers)
{
    if (file.metadata.output == OutputMode::foreground) {
        set(m_executionStatus, ExecutionStatus::runningForeground());
        m_executionCoordinator.runForeground(file, displayName, arguments, modifiers);
        return;
    }
    // Started before the HUD closes, as closing may release this view model and its
    // coordinator; the user sees no difference.
    m_executionCoordinator.runBackground(file, displayName, arguments, modifiers);
    dismiss();
}

QString SearchViewModel::labelOf(const FileItem &file) const
{
    return displayName(file, m_configManager.enhanceLabels());
}

QString SearchViewModel::substituteClipboard(const QString &value) const
{
    static const QString marker = QStringLiteral("{clipboard}");
    if (!value.contains(marker))
        return value;
    QString clipboard = m_services.clipboardText();
    clipboard.replace(u'\n', u' ').replace(u'\r', u' ');
    QString substituted = value;
    return substituted.replace(marker, clipboard);
}

void SearchViewModel::confirmArgument(const QString &text, const QString &modifiers)
{
    if (!m_executionStatus.is(ExecutionStatus::Kind::awaitingArgument))
        return;
    const FileItem file = *m_executionStatus.file();
    runWithArguments(file, labelOf(file), { text }, modifiers);
}

void SearchViewModel::confirmListEntry(const QString &modifiers)
{
    const std::vector<ListEntry> entries = filteredList();
    if (m_selectedListIndex < 0 || size_t(m_selectedListIndex) >= entries.size())
        return;
    runEntry(entries[size_t(m_selectedListIndex)], modifiers);
}

void SearchViewModel::runEntry(const ListEntry &entry, const QString &modifiers)
{
    const std::shared_ptr<const ScriptIndex> index = currentIndex();
    const auto &files = index->file.entries;
    const auto found = std::find_if(files.begin(), files.end(),
        [&entry](const FileItem &file) { return file.relativePath == entry.script; });
    if (found == files.end()) {
        set(m_executionStatus,
            ExecutionStatus::failed(QStringLiteral("Script not found: ") + entry.script));
        playSoundForSetting(m_services, m_configManager.failureSound(), BuiltInSound::failure);
        dismissAfterDelay();
        return;
    }
    const FileItem file = *found;
    if (entry.arguments) {
        runWithArguments(file, labelOf(file), *entry.arguments, modifiers);
    } else if (const auto &argument = file.metadata.argument) {
        set(m_executionStatus,
            ExecutionStatus::awaitingArgument(
                { argument->placeholder, substituteClipboard(argument->value) }, file));
    } else {
        runWithArguments(file, labelOf(file), {}, modifiers);
    }
}

void SearchViewModel::cancelList()
{
    set(m_executionStatus, ExecutionStatus::idle());
    set(m_listFilterText, QString());
    set(m_selectedListIndex, 0);
    dismiss();
}

void SearchViewModel::listFilterChanged(const QString &text)
{
    if (!m_executionStatus.is(ExecutionStatus::Kind::showingList))
        return;
    set(m_listFilterText, text);
    set(m_selectedListIndex, 0);
}

void SearchViewModel::confirmSearch()
{
    const std::vector<SearchResult> results = searchResults();
    if (m_selectedSearchIndex < 0 || size_t(m_selectedSearchIndex) >= results.size())
        return;
    const SearchItem *item = results[size_t(m_selectedSearchIndex)].item;
    // The result points into the index; the run copies what it needs first.
    const FileItem file = *item->file;
    run(file, item->displayName, QString());
}

void SearchViewModel::activateRow(int index, const QString &modifiers)
{
    if (index < 0)
        return;
    if (m_isSearchMode) {
        const std::vector<SearchResult> results = searchResults();
        if (size_t(index) < results.size()) {
            const FileItem file = *results[size_t(index)].item->file;
            run(file, results[size_t(index)].item->displayName, QString());
        }
    } else if (m_executionStatus.is(ExecutionStatus::Kind::showingList)) {
        const std::vector<ListEntry> entries = filteredList();
        if (size_t(index) < entries.size())
            runEntry(entries[size_t(index)], modifiers);
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
        if (!self->isInputBlocked()) {
            self->set(self->m_keys, KeyGroup());
            self->evaluate();
        }
        self->set(self->m_refreshMessage, std::optional(QStringLiteral("Scripts reloaded")));
        self->m_refreshTimer.start(refreshMessageMs);
    });
}

void SearchViewModel::handleEvent(const ScriptExecutionCoordinator::Event &event)
{
    using Kind = ScriptExecutionCoordinator::Event::Kind;
    switch (event.kind) {
    case Kind::foregroundOutput:
        set(m_latestOutput, std::optional(event.line));
        break;
    case Kind::showingList:
        set(m_latestOutput, std::optional(event.displayName));
        set(m_listFilterText, QString());
        set(m_selectedListIndex, 0);
        set(m_executionStatus, ExecutionStatus::showingList(event.entries));
        break;
    case Kind::failed:
        set(m_executionStatus, ExecutionStatus::failed(event.message));
        dismissAfterDelay();
        break;
    case Kind::succeeded:
        set(m_executionStatus, ExecutionStatus::succeeded());
        dismissAfterDelay();
        break;
    case Kind::cancelled:
        set(m_keys, KeyGroup());
        evaluate();
        break;
    }
}

void SearchViewModel::dismissAfterDelay()
{
    QTimer::singleShot(dismissDelayMs, this, [this] { dismiss(); });
}

void SearchViewModel::dismiss()
{
    // A copy: the callback may release this view model.
    if (std::function<void()> onDismiss = m_onDismiss)
        onDismiss();
}

} // namespace runel
