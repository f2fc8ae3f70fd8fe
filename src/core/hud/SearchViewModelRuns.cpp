// The runs of SearchViewModel and what their outcomes do to the HUD: running a chosen script,
// the argument field, the entries of a list a script printed, row clicks, the coordinator's
// events, closing after an outcome, and the reload command.

#include "SearchViewModel.h"

#include "core/SystemServices.h"
#include "core/execution/SoundRule.h"
#include "core/index/Labels.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"

#include <QFileInfo>
#include <QPointer>

namespace runel {

void SearchViewModel::run(
    const FileItem &file, const QString &displayName, const QString &modifiers)
{
    ChangeBatch batch(*this);
    // Whatever started this run, no timer may start another one after it.
    cancelTimers();
    const bool wasSearching = m_isSearchMode;
    const QString searchText = m_searchFilterText;
    if (wasSearching)
        exitSearchMode();
    if (file.metadata.fallback.kind != FallbackMode::Kind::disabled && wasSearching) {
        runWithArguments(file, displayName, { searchText }, QString());
        return;
    }
    if (file.metadata.argument) {
        awaitArgument(file);
        return;
    }
    runWithArguments(file, displayName, {}, modifiers);
}

void SearchViewModel::awaitArgument(const FileItem &file)
{
    ChangeBatch batch(*this);
    const ScriptArgument &argument = *file.metadata.argument;
    m_argumentStart = substituteClipboard(argument.value);
    m_recallIndex = -1;
    m_recalledArguments.clear();
    // The log keeps no secret argument; one from a record written by hand is not shown either.
    const RunHistory::Entry *history = m_logStore.runHistory().entry(file.standardizedPath());
    if (history && !argument.secret) {
        // The start text is where the steps begin and end: offering it once more would look
        // like a step that did nothing.
        for (const QString &recalled : history->recalledArguments) {
            if (recalled != m_argumentStart)
                m_recalledArguments.append(recalled);
        }
    }
    set(m_argumentText, m_argumentStart, Field::argumentText);
    set(m_executionStatus,
        ExecutionStatus::awaitingArgument(
            { argument.placeholder, m_argumentStart, argument.secret }, file),
        Field::executionStatus);
}

void SearchViewModel::recallOlderArgument()
{
    stepRecall(1);
}

void SearchViewModel::recallNewerArgument()
{
    stepRecall(-1);
}

void SearchViewModel::stepRecall(int step)
{
    if (!m_executionStatus.is(ExecutionStatus::Kind::awaitingArgument))
        return;
    // Stops at the oldest; below the newest is the start text.
    const int index = std::clamp(m_recallIndex + step, -1, int(m_recalledArguments.size()) - 1);
    if (index == m_recallIndex)
        return;
    m_recallIndex = index;
    set(m_argumentText, index < 0 ? m_argumentStart : m_recalledArguments[index],
        Field::argumentText);
}

void SearchViewModel::runWithArguments(const FileItem &file, const QString &displayName,
    const QStringList &arguments, const QString &modifiers)
{
    ChangeBatch batch(*this);
    cancelTimers();
    // The index may be older than the folder. A script gone since then is not started (its
    // path could name nothing, or a folder); the index is read again for the next try.
    if (!QFileInfo(file.path).isFile()) {
        set(m_executionStatus,
            ExecutionStatus::failed(
                QStringLiteral("Nothing was run: %1 was moved or deleted. The scripts are "
                               "reloading; try again.")
                    .arg(file.relativePath)),
            Field::executionStatus);
        playSoundForSetting(m_services, m_configManager.failureSound(), BuiltInSound::failure);
        dismissAfterDelay();
        m_scriptStore.reload();
        return;
    }
    if (file.metadata.output == OutputMode::foreground) {
        set(m_executionStatus, ExecutionStatus::runningForeground(), Field::executionStatus);
        m_executionCoordinator.runForeground(file, displayName, arguments, modifiers);
        return;
    }
    // Started before the HUD closes (at the end of the operation), as closing may release this
    // view model and its coordinator; the user sees no difference.
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
    ChangeBatch batch(*this);
    const std::shared_ptr<const ScriptIndex> index = currentIndex();
    const auto &files = index->file.entries;
    const auto found = std::find_if(files.begin(), files.end(),
        [&entry](const FileItem &file) { return file.relativePath == entry.script; });
    if (found == files.end()) {
        set(m_executionStatus,
            ExecutionStatus::failed(QStringLiteral("Script not found: ") + entry.script),
            Field::executionStatus);
        playSoundForSetting(m_services, m_configManager.failureSound(), BuiltInSound::failure);
        dismissAfterDelay();
        return;
    }
    const FileItem file = *found;
    if (entry.arguments)
        runWithArguments(file, labelOf(file), *entry.arguments, modifiers);
    else if (file.metadata.argument)
        awaitArgument(file);
    else
        runWithArguments(file, labelOf(file), {}, modifiers);
}

void SearchViewModel::cancelList()
{
    ChangeBatch batch(*this);
    set(m_executionStatus, ExecutionStatus::idle(), Field::executionStatus);
    set(m_listFilterText, QString(), Field::listFilterText);
    set(m_selectedListIndex, 0, Field::selectedListIndex);
    dismiss();
}

void SearchViewModel::listFilterChanged(const QString &text)
{
    if (!m_executionStatus.is(ExecutionStatus::Kind::showingList))
        return;
    ChangeBatch batch(*this);
    set(m_listFilterText, text, Field::listFilterText);
    set(m_selectedListIndex, 0, Field::selectedListIndex);
}

void SearchViewModel::confirmSearch()
{
    activateRow(m_selectedSearchIndex, QString());
}

void SearchViewModel::activateRow(int index, const QString &modifiers)
{
    if (index < 0)
        return;
    if (m_isSearchMode) {
        const std::vector<SearchResult> &results = searchResults();
        if (size_t(index) >= results.size())
            return;
        // The result points into the index; the run copies what it needs first.
        const SearchItem *item = results[size_t(index)].item;
        const FileItem file = *item->file;
        const QString name = item->displayName;
        run(file, name, QString());
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

void SearchViewModel::handleEvent(const ScriptExecutionCoordinator::Event &event)
{
    ChangeBatch batch(*this);
    using Kind = ScriptExecutionCoordinator::Event::Kind;
    switch (event.kind) {
    case Kind::foregroundOutput:
        set(m_latestOutput, std::optional(event.line), Field::latestOutput);
        break;
    case Kind::showingList:
        set(m_latestOutput, std::optional(event.displayName), Field::latestOutput);
        set(m_listFilterText, QString(), Field::listFilterText);
        set(m_selectedListIndex, 0, Field::selectedListIndex);
        set(m_executionStatus, ExecutionStatus::showingList(event.entries), Field::executionStatus);
        break;
    case Kind::failed:
        set(m_executionStatus, ExecutionStatus::failed(event.message), Field::executionStatus);
        dismissAfterDelay();
        break;
    case Kind::succeeded:
        set(m_executionStatus, ExecutionStatus::succeeded(), Field::executionStatus);
        dismissAfterDelay();
        break;
    case Kind::cancelled:
        set(m_keys, KeyGroup(), Field::keys);
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
    // Carried out when the operation's batch ends, after its notifications.
    ChangeBatch batch(*this);
    m_dismissRequested = true;
}

} // namespace runel
