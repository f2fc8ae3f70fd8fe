#pragma once

#include "HudPanel.h"
#include "gui/platform/PanelPlacement.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QWidget;
class QWindow;

namespace runel {
class ConfigManager;
class ResultListModel;
class SearchViewModel;
} // namespace runel

namespace runel::gui {

class ResultsWindowView;
class SearchView;

// Shows the HUD, one opening at a time: the HUD panel with the search view and the results panel
// below it, placed on the screen under the pointer (as windows) or on the compositor's output
// (as layer-shell overlays: platform/PanelPlacement chooses), the results panel shown at once,
// after the results delay or never as the settings say (always in search mode and while
// browsing). The HUD closes when it loses the focus, or on a click outside the panels where that
// takes no focus from it.
// The results panel and its platform window are made with the controller and only hidden
// between openings: an opening fills it with views of its own view model, and the first key that
// shows the results maps a window that exists, laid out at its final height. The HUD panel is
// made per opening (a window manager maps a new window sooner than one shown again).
class SearchWindowController : public QObject {
    Q_OBJECT

public:
    // configManager must outlive the controller.
    explicit SearchWindowController(ConfigManager &configManager, QObject *parent = nullptr);
    ~SearchWindowController() override; // closes the panels if still open

    // Fills both panels with views of viewModel, places them, shows the HUD and gives it
    // keyboard focus. Sets viewModel.setOnDismiss(...) to close(). viewModel must outlive the
    // opening (until closed()); ignored while an opening is shown.
    void show(SearchViewModel &viewModel);
    // Hides both panels and lets go of the opening's views; idempotent; emits closed() once
    // per opening.
    void close();
    bool isOpen() const { return m_open; }
    QWidget *hudWindow() const; // null when closed
    QWidget *resultsWindow() const; // null when closed

    // For tests: the views inside the panels (null when closed).
    SearchView *searchView() const { return m_searchView; }
    ResultsWindowView *resultsView() const { return m_resultsView; }
    bool isResultsPanelPending() const { return m_resultsTimer.isActive(); }
    PanelBackend panelBackend() const { return m_placement->backend(); }

    static constexpr int panelGap = 10;
    static constexpr int aboveCentre = 80; // the HUD's bottom edge above the screen's centre

Q_SIGNALS:
    void closed();

private:
    void placePanels();
    void scheduleUpdate();
    void updateResultsPanel();
    void scheduleResultsPanel();
    void showResultsPanel();
    void hideResultsPanel();
    void hudDeactivated();
    bool isPanel(const QWindow *window) const;

    ConfigManager &m_configManager;
    std::unique_ptr<PanelPlacement> m_placement;
    // The HUD panel of the open opening, and one closed but not yet deleted; they and the
    // results panel's content (the views are bound to one view model) are deleted later, never
    // at once: close() is often called from inside one of their own key or focus events.
    QPointer<HudPanel> m_window;
    QPointer<HudPanel> m_closingWindow;
    // Hidden, never deleted, between openings.
    std::unique_ptr<HudPanel> m_resultsPanel;
    // The open opening's; null while closed.
    QPointer<SearchViewModel> m_viewModel;
    // Where the platform needs one (see PanelPlacement), the surface that hears a click outside
    // the panels; one per opening, deleted later, as it closes the HUD from its own mouse event.
    QPointer<QWidget> m_outsideClickCatcher;
    SearchView *m_searchView = nullptr;
    ResultsWindowView *m_resultsView = nullptr;
    QTimer m_resultsTimer;
    bool m_open = false;
    bool m_panelFocused = false; // a panel was the platform's focus window at the last change
    bool m_updatePosted = false;
};

} // namespace runel::gui
