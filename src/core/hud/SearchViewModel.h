#pragma once

#include "execution/ExecutionStatus.h"
#include "execution/ScriptExecutionCoordinator.h"
#include "hud/SearchEvaluation.h"
#include "index/ScriptIndex.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace runel {

class ConfigManager;
class LogStore;
class ScriptStore;
class SystemServices;

// The HUD's state and the state machine that turns typed keys into script runs. Lives on the
// main thread and needs no window: the key input layer calls the operations, the views read
// the fields and follow changed(). One per opening of the HUD; it owns the coordinator that
// runs its scripts.
class SearchViewModel : public QObject {
    Q_OBJECT

public:
    // The collaborators must outlive the view model.
    SearchViewModel(ConfigManager &configManager, ScriptStore &scriptStore, LogStore &logStore,
        SystemServices &services, QObject *parent = nullptr);
    ~SearchViewModel() override;

    // Fields.
    const KeyGroup &keys() const { return m_keys; }
    const ExecutionStatus &executionStatus() const { return m_executionStatus; }
    int selectedIndex() const { return m_selectedIndex; }
    bool isBrowsingResults() const { return m_isBrowsingResults; }
    bool isResultsPanelVisible() const { return m_isResultsPanelVisible; }
    void setResultsPanelVisible(bool visible); // by the HUD window
    const std::optional<QString> &latestOutput() const { return m_latestOutput; }
    const std::optional<QString> &refreshMessage() const { return m_refreshMessage; }
    const QString &listFilterText() const { return m_listFilterText; }
    int selectedListIndex() const { return m_selectedListIndex; }
    bool isSearchMode() const { return m_isSearchMode; }
    const QString &searchFilterText() const { return m_searchFilterText; }
    int selectedSearchIndex() const { return m_selectedSearchIndex; }
    const Evaluation &evaluation() const { return m_evaluation; }
    ScriptExecutionCoordinator &executionCoordinator() { return m_executionCoordinator; }
    // Closes the HUD; set by the HUD window. May delete the view model.
    void setOnDismiss(std::function<void()> onDismiss) { m_onDismiss = std::move(onDismiss); }

    // Derived values, worked out on each read.
    bool isInputBlocked() const;
    std::vector<ListEntry> filteredList() const;
    std::vector<SearchResult> searchResults() const;
    bool shouldShowResultsPanel() const;
    bool isRunPending() const { return m_pendingTimer.isActive(); }
    bool isAutorunPending() const { return m_autorunTimer.isActive(); }

    // Sequence mode.
    void handleCharacter(const QString &character);
    void handleBackspace();
    void handleEscape();
    void handleCancel();
    void handleEnter(const QString &modifiers);
    void moveSelectionUp();
    void moveSelectionDown();
    void toggleSearchMode();
    // Plays a whole key sequence, as a user shortcut does, and runs what it names at once.
    void runSequence(const QString &keySequence);

    // Search mode.
    void exitSearchMode();
    void searchTextChanged(const QString &text);
    void moveSearchSelection(int step);
    void confirmSearch();

    // List mode and the argument field.
    void confirmListEntry(const QString &modifiers);
    void cancelList();
    void listFilterChanged(const QString &text);
    void moveListSelection(int step);
    void confirmArgument(const QString &text, const QString &modifiers);

    void activateRow(int index, const QString &modifiers);
    void reloadScripts();
    void handleEvent(const ScriptExecutionCoordinator::Event &event);

    // Runs a chosen script: a fallback with the search text, an argument prompt, or a plain
    // foreground or background run.
    void run(const FileItem &file, const QString &displayName, const QString &modifiers);

    // How long after a run's outcome the HUD closes, and how long "Scripts reloaded" shows.
    static constexpr int dismissDelayMs = 600;
    static constexpr int refreshMessageMs = 1500;

Q_SIGNALS:
    // Some field changed; emitted once per changed field, never for an equal value.
    void changed();

private:
    std::shared_ptr<const ScriptIndex> currentIndex() const;
    void evaluate(std::optional<CommandResolver::ResolveResult> resolved = std::nullopt);
    void enterSearchMode(const QString &text);
    void scheduleRun(const SequenceItem *item);
    void scheduleAutorun(const SequenceItem *item);
    void runWithArguments(const FileItem &file, const QString &displayName,
        const QStringList &arguments, const QString &modifiers);
    void runEntry(const ListEntry &entry, const QString &modifiers);
    void dismissAfterDelay();
    void dismiss();
    QString labelOf(const FileItem &file) const;
    QString substituteClipboard(const QString &value) const;

    template<typename T> void set(T &field, T value)
    {
        if (field == value)
            return;
        field = std::move(value);
        Q_EMIT changed();
    }

    ConfigManager &m_configManager;
    ScriptStore &m_scriptStore;
    SystemServices &m_services;
    ScriptExecutionCoordinator m_executionCoordinator;

    KeyGroup m_keys;
    ExecutionStatus m_executionStatus;
    int m_selectedIndex = 0;
    bool m_isBrowsingResults = false;
    bool m_isResultsPanelVisible = false;
    std::optional<QString> m_latestOutput;
    std::optional<QString> m_refreshMessage;
    QString m_listFilterText;
    int m_selectedListIndex = 0;
    bool m_isSearchMode = false;
    QString m_searchFilterText;
    int m_selectedSearchIndex = 0;
    std::function<void()> m_onDismiss;

    Evaluation m_evaluation;
    // The index m_evaluation points into, kept alive while the evaluation is shown.
    std::shared_ptr<const ScriptIndex> m_evaluatedIndex;

    // The run delay and the autorun delay, each with the script it will run.
    QTimer m_pendingTimer;
    QTimer m_autorunTimer;
    QTimer m_refreshTimer; // clears "Scripts reloaded"
    std::optional<std::pair<FileItem, QString>> m_pendingRun;
    std::optional<std::pair<FileItem, QString>> m_autorunRun;
};

} // namespace runel
