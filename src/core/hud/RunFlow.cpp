#include "RunFlow.h"

#include "SearchViewModel.h"
#include "core/SystemServices.h"
#include "core/execution/RunChoice.h"
#include "core/execution/SoundRule.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"

#include <QFileInfo>

namespace runel {

namespace {

int milliseconds(double seconds)
{
    return int(seconds * 1000.0 + 0.5);
}

} // namespace

RunFlow::RunFlow(SearchViewModel &model, ConfigManager &configManager, ScriptStore &scriptStore,
    LogStore &logStore, SystemServices &services)
    : m_model(model)
    , m_configManager(configManager)
    , m_scriptStore(scriptStore)
    , m_logStore(logStore)
    , m_services(services)
    , m_coordinator(configManager, logStore, services)
{
    // The coordinator is a member: it cannot outlive the flow its handler points to.
    m_coordinator.setOnEvent(
        [this](const ScriptExecutionCoordinator::Event &event) { handleEvent(event); });
    for (QTimer *timer : { &m_pending.timer, &m_autorun.timer })
        timer->setSingleShot(true);
    // The view model is the timers' context: a run they start is one of its operations.
    QObject::connect(&m_pending.timer, &QTimer::timeout, &m_model, [this] {
        if (auto pending = std::exchange(m_pending.script, std::nullopt))
            run(pending->first, pending->second, QString());
    });
    QObject::connect(&m_autorun.timer, &QTimer::timeout, &m_model, [this] {
        auto pending = std::exchange(m_autorun.script, std::nullopt);
        if (pending && m_configManager.autorunEnabled())
            run(pending->first, pending->second, QString());
    });
}

void RunFlow::DelayedRun::schedule(const SequenceItem *item, double delaySeconds)
{
    timer.stop();
    script.reset();
    if (!item)
        return;
    script.emplace(*item->file, item->displayName);
    timer.start(milliseconds(delaySeconds));
}

void RunFlow::scheduleRun(const SequenceItem *item)
{
    m_pending.schedule(item, m_configManager.scriptDelay());
}

void RunFlow::scheduleAutorun(const SequenceItem *item)
{
    m_autorun.schedule(item, m_configManager.autorunDelay());
}

void RunFlow::cancelTimers()
{
    scheduleRun(nullptr);
    scheduleAutorun(nullptr);
}

void RunFlow::run(const FileItem &file, const QString &displayName, const QString &modifiers)
{
    SearchViewModel::ChangeBatch batch(m_model);
    // Whatever started this run, no timer may start another one after it.
    cancelTimers();
    const bool wasSearching = m_model.isSearchMode();
    const QString searchText = m_model.searchFilterText();
    if (wasSearching)
        m_model.exitSearchMode();
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

void RunFlow::awaitArgument(const FileItem &file)
{
    using Field = SearchViewModel::Field;
    SearchViewModel::ChangeBatch batch(m_model);
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
    m_model.set(m_model.m_argumentText, m_argumentStart, Field::argumentText);
    m_model.set(m_model.m_executionStatus,
        ExecutionStatus::awaitingArgument(
            { argument.placeholder, m_argumentStart, argument.secret }, file),
        Field::executionStatus);
}

void RunFlow::stepRecall(int step)
{
    using Field = SearchViewModel::Field;
    if (!m_model.executionStatus().is(ExecutionStatus::Kind::awaitingArgument))
        return;
    // Stops at the oldest; below the newest is the start text.
    const int index = std::clamp(m_recallIndex + step, -1, int(m_recalledArguments.size()) - 1);
    if (index == m_recallIndex)
        return;
    m_recallIndex = index;
    m_model.set(m_model.m_argumentText, index < 0 ? m_argumentStart : m_recalledArguments[index],
        Field::argumentText);
}

void RunFlow::fail(const QString &message)
{
    using Field = SearchViewModel::Field;
    SearchViewModel::ChangeBatch batch(m_model);
    m_model.set(
        m_model.m_executionStatus, ExecutionStatus::failed(message), Field::executionStatus);
    playSoundForSetting(m_services, m_configManager.failureSound(), BuiltInSound::failure);
    dismissAfterDelay();
}

void RunFlow::runWithArguments(const FileItem &file, const QString &displayName,
    const QStringList &arguments, const QString &modifiers)
{
    using Field = SearchViewModel::Field;
    SearchViewModel::ChangeBatch batch(m_model);
    cancelTimers();
    // The index may be older than the folder. A script gone since then is not started (its
    // path could name nothing, or a folder); the index is read again for the next try.
    if (!QFileInfo(file.path).isFile()) {
        fail(QStringLiteral("Nothing was run: %1 was moved or deleted. The scripts are "
                            "reloading; try again.")
                 .arg(file.relativePath));
        m_scriptStore.reload();
        return;
    }
    if (runsInForeground(file)) {
        m_model.set(m_model.m_executionStatus, ExecutionStatus::runningForeground(),
            Field::executionStatus);
        m_coordinator.runForeground(file, displayName, arguments, modifiers);
        return;
    }
    // Started before the HUD closes (at the end of the operation), as closing may release the
    // view model and this coordinator; the user sees no difference.
    m_coordinator.runBackground(file, displayName, arguments, modifiers);
    m_model.dismiss();
}

QString RunFlow::substituteClipboard(const QString &value) const
{
    static const QString marker = QStringLiteral("{clipboard}");
    if (!value.contains(marker))
        return value;
    QString clipboard = m_services.clipboardText();
    clipboard.replace(u'\n', u' ').replace(u'\r', u' ');
    QString substituted = value;
    return substituted.replace(marker, clipboard);
}

void RunFlow::confirmArgument(const QString &text, const QString &modifiers)
{
    if (!m_model.executionStatus().is(ExecutionStatus::Kind::awaitingArgument))
        return;
    const FileItem file = *m_model.executionStatus().file();
    runWithArguments(file, m_model.labelOf(file), { text }, modifiers);
}

void RunFlow::runEntry(const ListEntry &entry, const QString &modifiers)
{
    SearchViewModel::ChangeBatch batch(m_model);
    const std::shared_ptr<const ScriptIndex> index = m_scriptStore.scriptIndex();
    const FileItem *found = scriptOfEntry(index->file.entries, entry);
    if (!found) {
        fail(scriptNotFoundMessage(entry.script));
        return;
    }
    const FileItem file = *found;
    if (entry.arguments)
        runWithArguments(file, m_model.labelOf(file), *entry.arguments, modifiers);
    else if (file.metadata.argument)
        awaitArgument(file);
    else
        runWithArguments(file, m_model.labelOf(file), {}, modifiers);
}

void RunFlow::confirmListEntry(const QString &modifiers)
{
    const std::vector<ListEntry> entries = m_model.filteredList();
    const int selected = m_model.selectedListIndex();
    if (selected >= 0 && size_t(selected) < entries.size())
        runEntry(entries[size_t(selected)], modifiers);
}

void RunFlow::listFilterChanged(const QString &text)
{
    if (!m_model.executionStatus().is(ExecutionStatus::Kind::showingList))
        return;
    using Field = SearchViewModel::Field;
    SearchViewModel::ChangeBatch batch(m_model);
    m_model.set(m_model.m_listFilterText, text, Field::listFilterText);
    m_model.set(m_model.m_selectedListIndex, 0, Field::selectedListIndex);
}

void RunFlow::cancelList()
{
    using Field = SearchViewModel::Field;
    SearchViewModel::ChangeBatch batch(m_model);
    m_model.set(m_model.m_executionStatus, ExecutionStatus::idle(), Field::executionStatus);
    m_model.set(m_model.m_listFilterText, QString(), Field::listFilterText);
    m_model.set(m_model.m_selectedListIndex, 0, Field::selectedListIndex);
    m_model.dismiss();
}

void RunFlow::handleEvent(const ScriptExecutionCoordinator::Event &event)
{
    using Field = SearchViewModel::Field;
    SearchViewModel &model = m_model;
    SearchViewModel::ChangeBatch batch(model);
    using Kind = ScriptExecutionCoordinator::Event::Kind;
    switch (event.kind) {
    case Kind::foregroundOutput:
        model.set(model.m_latestOutput, std::optional(event.line), Field::latestOutput);
        break;
    case Kind::showingList:
        model.set(model.m_latestOutput, std::optional(event.displayName), Field::latestOutput);
        model.set(model.m_listFilterText, QString(), Field::listFilterText);
        model.set(model.m_selectedListIndex, 0, Field::selectedListIndex);
        model.set(model.m_executionStatus, ExecutionStatus::showingList(event.entries),
            Field::executionStatus);
        break;
    case Kind::failed:
        model.set(model.m_executionStatus, ExecutionStatus::failed(event.message),
            Field::executionStatus);
        dismissAfterDelay();
        break;
    case Kind::succeeded:
        model.set(model.m_executionStatus, ExecutionStatus::succeeded(), Field::executionStatus);
        dismissAfterDelay();
        break;
    case Kind::cancelled:
        model.set(model.m_keys, KeyGroup(), Field::keys);
        model.evaluate();
        break;
    }
}

void RunFlow::dismissAfterDelay()
{
    QTimer::singleShot(SearchViewModel::dismissDelayMs, &m_model, [this] { m_model.dismiss(); });
}

} // namespace runel
