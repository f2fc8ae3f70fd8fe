#pragma once

#include "core/execution/ListEntry.h"
#include "core/execution/ScriptExecutionCoordinator.h"
#include "core/index/FileItem.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>
#include <utility>

namespace runel {

class ConfigManager;
class LogStore;
class ScriptStore;
class SearchViewModel;
class SystemServices;
struct SequenceItem;

// How the HUD runs what the user chose: a fallback with the search text, the argument field
// (with the arguments of earlier runs to step through), a plain foreground or background run,
// the entries of a list a script printed, the delayed run of a complete key sequence and the
// autorun of a pinned script, the coordinator's events, and closing the HUD after an outcome.
// Part of its view model: it changes the view model's fields inside the view model's change
// batches, so the views hear of it as of any other operation.
class RunFlow {
public:
    // The view model owns the flow; the other collaborators must outlive both.
    RunFlow(SearchViewModel &model, ConfigManager &configManager, ScriptStore &scriptStore,
        LogStore &logStore, SystemServices &services);
    RunFlow(const RunFlow &) = delete;
    RunFlow &operator=(const RunFlow &) = delete;

    ScriptExecutionCoordinator &coordinator() { return m_coordinator; }

    // Runs a chosen script: a fallback with the search text, an argument prompt, or a plain
    // foreground or background run. Any run cancels both timers.
    void run(const FileItem &file, const QString &displayName, const QString &modifiers);
    // Runs the script a list entry names, with its arguments or asking for one.
    void runEntry(const ListEntry &entry, const QString &modifiers);
    void confirmArgument(const QString &text, const QString &modifiers);
    // The list a script printed: its filter, and leaving it (which closes the HUD).
    void confirmListEntry(const QString &modifiers);
    void listFilterChanged(const QString &text);
    void cancelList();
    // Steps through the offered arguments: +1 older, -1 newer.
    void stepRecall(int step);
    void handleEvent(const ScriptExecutionCoordinator::Event &event);

    // The delayed run of the one script the keys name, and the autorun of a pinned first row;
    // null cancels.
    void scheduleRun(const SequenceItem *item);
    void scheduleAutorun(const SequenceItem *item);
    void cancelTimers();
    bool isRunPending() const { return m_pending.timer.isActive(); }
    bool isAutorunPending() const { return m_autorun.timer.isActive(); }

    // Closes the HUD a moment after a run's outcome was shown.
    void dismissAfterDelay();

private:
    void awaitArgument(const FileItem &file);
    void runWithArguments(const FileItem &file, const QString &displayName,
        const QStringList &arguments, const QString &modifiers);
    void fail(const QString &message);
    QString substituteClipboard(const QString &value) const;

    SearchViewModel &m_model;
    ConfigManager &m_configManager;
    ScriptStore &m_scriptStore;
    LogStore &m_logStore;
    SystemServices &m_services;
    ScriptExecutionCoordinator m_coordinator;

    // While an argument is awaited: its start text, what Up and Down offer (newest first) and
    // where they stand (-1: at the start text).
    QString m_argumentStart;
    QStringList m_recalledArguments;
    int m_recallIndex = -1;

    // A script waiting for its delay; scheduling another (or none) replaces it.
    struct DelayedRun {
        QTimer timer;
        std::optional<std::pair<FileItem, QString>> script; // the file and its display name
        void schedule(const SequenceItem *item, double delaySeconds);
    };
    DelayedRun m_pending; // the run delay
    DelayedRun m_autorun;
};

} // namespace runel
