#pragma once

#include "RunFlow.h"
#include "SearchCatalog.h"
#include "SearchEvaluation.h"
#include "SearchModeState.h"
#include "core/execution/ExecutionStatus.h"
#include "core/execution/ScriptExecutionCoordinator.h"
#include "core/index/ScriptIndex.h"

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
// main thread and needs no window: the key input layer calls the operations, the views bind to
// the properties. Each operation notifies once it is complete: one signal per field whose value
// changed (equal values never notify), so a view redraws only what shows a changed field. It
// follows the store's index by itself. One per opening of the HUD; its run flow owns the
// coordinator that runs its scripts, its search state the search results.
class SearchViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(KeyGroup keys READ keys NOTIFY keysChanged)
    Q_PROPERTY(ExecutionStatus executionStatus READ executionStatus NOTIFY executionStatusChanged)
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)
    Q_PROPERTY(bool isBrowsingResults READ isBrowsingResults NOTIFY isBrowsingResultsChanged)
    Q_PROPERTY(bool isResultsPanelVisible READ isResultsPanelVisible WRITE setResultsPanelVisible
            NOTIFY isResultsPanelVisibleChanged)
    Q_PROPERTY(std::optional<QString> latestOutput READ latestOutput NOTIFY latestOutputChanged)
    Q_PROPERTY(
        std::optional<QString> refreshMessage READ refreshMessage NOTIFY refreshMessageChanged)
    Q_PROPERTY(QString listFilterText READ listFilterText NOTIFY listFilterTextChanged)
    Q_PROPERTY(int selectedListIndex READ selectedListIndex NOTIFY selectedListIndexChanged)
    Q_PROPERTY(bool isSearchMode READ isSearchMode NOTIFY isSearchModeChanged)
    Q_PROPERTY(QString searchFilterText READ searchFilterText NOTIFY searchFilterTextChanged)
    Q_PROPERTY(int selectedSearchIndex READ selectedSearchIndex NOTIFY selectedSearchIndexChanged)
    Q_PROPERTY(Evaluation evaluation READ evaluation NOTIFY evaluationChanged)
    Q_PROPERTY(QString argumentText READ argumentText NOTIFY argumentTextChanged)
    Q_PROPERTY(bool isInputBlocked READ isInputBlocked NOTIFY isInputBlockedChanged)
    Q_PROPERTY(bool shouldShowResultsPanel READ shouldShowResultsPanel NOTIFY
            shouldShowResultsPanelChanged)

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
    bool isSearchMode() const { return m_search.isActive(); }
    const QString &searchFilterText() const { return m_search.text(); }
    int selectedSearchIndex() const { return m_search.selectedIndex(); }
    const Evaluation &evaluation() const { return m_evaluation; }
    // What the argument field shows while an argument is awaited: the argument's value (the
    // start text), or an argument of an earlier run that Up and Down stepped to.
    const QString &argumentText() const { return m_argumentText; }
    ScriptExecutionCoordinator &executionCoordinator() { return m_runFlow.coordinator(); }
    // Closes the HUD; set by the HUD window. May delete the view model: it is called last in an
    // operation, after the notifications.
    void setOnDismiss(std::function<void()> onDismiss) { m_onDismiss = std::move(onDismiss); }

    // Derived values.
    bool isInputBlocked() const;
    std::vector<ListEntry> filteredList() const;
    // Worked out once per index and search text; valid until the next call after either
    // changed (searchResultsChanged).
    const std::vector<SearchResult> &searchResults() const;
    // The catalog those results were found in: what a view draws search rows from.
    std::shared_ptr<const SearchCatalog> searchCatalog() const;
    bool shouldShowResultsPanel() const;
    bool isRunPending() const { return m_runFlow.isRunPending(); }
    bool isAutorunPending() const { return m_runFlow.isAutorunPending(); }

    // Sequence mode.
    void handleCharacter(const QString &character);
    void handleBackspace();
    void handleEscape();
    void handleCancel();
    void handleEnter(const QString &modifiers);
    void moveSelectionUp();
    void moveSelectionDown();
    void toggleSearchMode();
    // Plays a whole key sequence, as a user shortcut does, and runs what it names at once. A
    // key that names nothing ends the play: the keys before it are shown, the HUD beeps and
    // nothing runs. Before the store's first index (the app just started for these keys) the
    // sequence waits for that index; a later sequence replaces a waiting one.
    void runSequence(const QString &keySequence);

    // Search mode.
    void exitSearchMode();
    void searchTextChanged(const QString &text);
    void moveSearchSelection(int step);
    void confirmSearch() { activateRow(selectedSearchIndex(), QString()); }

    // List mode and the argument field.
    void confirmListEntry(const QString &modifiers) { m_runFlow.confirmListEntry(modifiers); }
    void cancelList() { m_runFlow.cancelList(); }
    void listFilterChanged(const QString &text) { m_runFlow.listFilterChanged(text); }
    void moveListSelection(int step);
    void confirmArgument(const QString &text, const QString &modifiers)
    {
        m_runFlow.confirmArgument(text, modifiers);
    }
    // Up and Down in the argument field: step to the argument of the next older run of the
    // script, or back towards the newest and past it to the start text. Each argument is
    // offered once, newest first; the log keeps none for a secret argument.
    void recallOlderArgument() { m_runFlow.stepRecall(1); }
    void recallNewerArgument() { m_runFlow.stepRecall(-1); }

    void activateRow(int index, const QString &modifiers);
    void reloadScripts();
    void handleEvent(const ScriptExecutionCoordinator::Event &event)
    {
        m_runFlow.handleEvent(event);
    }

    // Runs a chosen script: a fallback with the search text, an argument prompt, or a plain
    // foreground or background run. Any run cancels both timers.
    void run(const FileItem &file, const QString &displayName, const QString &modifiers)
    {
        m_runFlow.run(file, displayName, modifiers);
    }

    // How long after a run's outcome the HUD closes, and how long "Scripts reloaded" shows.
    static constexpr int dismissDelayMs = 600;
    static constexpr int refreshMessageMs = 1500;

Q_SIGNALS:
    void keysChanged();
    void executionStatusChanged();
    void selectedIndexChanged();
    void isBrowsingResultsChanged();
    void isResultsPanelVisibleChanged();
    void latestOutputChanged();
    void refreshMessageChanged();
    void listFilterTextChanged();
    void selectedListIndexChanged();
    void isSearchModeChanged();
    void searchFilterTextChanged();
    void selectedSearchIndexChanged();
    void evaluationChanged();
    void argumentTextChanged();
    // The search text or the index changed.
    void searchResultsChanged();
    // The list or its filter text changed.
    void filteredListChanged();
    void isInputBlockedChanged();
    void shouldShowResultsPanelChanged();

private:
    friend class RunFlow;

    // The fields that notify, in the order their signals are emitted.
    enum class Field : unsigned {
        keys,
        executionStatus,
        selectedIndex,
        isBrowsingResults,
        isResultsPanelVisible,
        latestOutput,
        refreshMessage,
        listFilterText,
        selectedListIndex,
        isSearchMode,
        searchFilterText,
        selectedSearchIndex,
        evaluation,
        searchResults,
        argumentText,
        count
    };
    // Held for the length of an operation: changes are collected, and notified (and a requested
    // dismissal carried out) when the outermost batch ends.
    class ChangeBatch {
    public:
        explicit ChangeBatch(SearchViewModel &model);
        ~ChangeBatch();
        ChangeBatch(const ChangeBatch &) = delete;
        ChangeBatch &operator=(const ChangeBatch &) = delete;

    private:
        SearchViewModel &m_model;
    };

    std::shared_ptr<const ScriptIndex> currentIndex() const;
    void followIndex();
    // The search results are to be worked out again (index, run history or setting changed).
    void searchResultsMayHaveChanged();
    void evaluate(std::optional<CommandResolver::ResolveResult> resolved = std::nullopt);
    void enterSearchMode(const QString &text);
    void setSearchText(const QString &text);
    void setSelectedSearchIndex(int index);
    void setSearchMode(bool active);
    // Asks for the HUD to close when the operation's batch ends, after its notifications.
    void dismiss();
    void publishChanges();
    QString labelOf(const FileItem &file) const;

    void markChanged(Field field) { m_dirty |= 1u << unsigned(field); }
    template<typename T> void set(T &field, T value, Field which)
    {
        if (field == value)
            return;
        ChangeBatch batch(*this);
        field = std::move(value);
        markChanged(which);
    }

    ConfigManager &m_configManager;
    ScriptStore &m_scriptStore;
    SystemServices &m_services;
    LogStore &m_logStore;

    KeyGroup m_keys;
    ExecutionStatus m_executionStatus;
    int m_selectedIndex = 0;
    bool m_isBrowsingResults = false;
    bool m_isResultsPanelVisible = false;
    std::optional<QString> m_latestOutput;
    std::optional<QString> m_refreshMessage;
    QString m_listFilterText;
    int m_selectedListIndex = 0;
    std::function<void()> m_onDismiss;
    QString m_argumentText;

    Evaluation m_evaluation;
    // The index m_evaluation points into, kept alive while the evaluation is shown.
    std::shared_ptr<const ScriptIndex> m_evaluatedIndex;

    SearchModeState m_search;

    // The open change batches, the fields changed within them, the derived values when the
    // outermost began, and whether an operation asked to close the HUD.
    int m_batchDepth = 0;
    unsigned m_dirty = 0;
    bool m_wasInputBlocked = false;
    bool m_wasShowingResultsPanel = false;
    bool m_dismissRequested = false;

    QTimer m_refreshTimer; // clears "Scripts reloaded"
    std::optional<QString> m_sequenceAwaitingIndex;
    // Last: its coordinator's runs and timers may call back into the fields above.
    RunFlow m_runFlow;
};

} // namespace runel
