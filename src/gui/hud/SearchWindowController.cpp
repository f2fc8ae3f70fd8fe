#include "SearchWindowController.h"

#include "HudPanel.h"
#include "ResultsWindowView.h"
#include "SearchView.h"
#include "core/hud/ResultListModel.h"
#include "core/hud/SearchViewModel.h"
#include "core/settings/ConfigManager.h"

#include <QApplication>
#include <QListView>
#include <QScreen>
#include <QWindow>

#include <utility>

namespace runel::gui {

SearchWindowController::SearchWindowController(ConfigManager &configManager, QObject *parent)
    : QObject(parent)
    , m_configManager(configManager)
    , m_placement(makePanelPlacement())
    , m_resultsPanel(std::make_unique<HudPanel>(false))
{
    m_resultsPanel->setWindowTitle(QStringLiteral("Runel Results"));
    m_placement->prepare(*m_resultsPanel, PanelRole::results);
    connect(m_resultsPanel.get(), &HudPanel::resized, this, &SearchWindowController::placePanels);
    // The widgets' activation is not enough where a window is shown again: Qt can still count a
    // hidden panel as the focus window when the next opening shows it, and then sends no new
    // activation, so no deactivation either when the user clicks elsewhere. The platform's
    // focus window tells every change.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focused) {
        const bool ours = isPanel(focused);
        if (std::exchange(m_panelFocused, ours) && !ours)
            hudDeactivated();
        else if (m_open && m_window && focused && focused == m_resultsPanel->windowHandle())
            m_window->activateWindow(); // the keys belong to the HUD
    });

    m_resultsTimer.setSingleShot(true);
    connect(&m_resultsTimer, &QTimer::timeout, this, [this] {
        if (m_viewModel && m_viewModel->shouldShowResultsPanel())
            showResultsPanel();
    });
}

SearchWindowController::~SearchWindowController()
{
    close();
    // A HUD and a catcher still waiting for their deferred deletion go with the controller.
    delete m_closingWindow;
    delete m_outsideClickCatcher;
}

bool SearchWindowController::isPanel(const QWindow *window) const
{
    return window
        && ((m_window && window == m_window->windowHandle())
            || window == m_resultsPanel->windowHandle());
}

QWidget *SearchWindowController::hudWindow() const
{
    return m_open ? m_window.data() : nullptr;
}

QWidget *SearchWindowController::resultsWindow() const
{
    return m_open ? m_resultsPanel.get() : nullptr;
}

void SearchWindowController::show(SearchViewModel &viewModel)
{
    if (m_open)
        return;
    m_open = true;
    m_viewModel = &viewModel;
    QPointer<SearchWindowController> self(this);
    viewModel.setOnDismiss([self] {
        if (self)
            self->close();
    });

    // A new HUD window per opening: the window manager maps a new window sooner than one
    // shown again.
    m_searchView = new SearchView(viewModel);
    m_window = new HudPanel(true);
    m_window->setWindowTitle(QStringLiteral("Runel"));
    m_window->setContent(m_searchView);
    m_placement->prepare(*m_window, PanelRole::hud);
    connect(m_window, &HudPanel::resized, this, &SearchWindowController::placePanels);
    connect(m_window, &HudPanel::deactivated, this, &SearchWindowController::hudDeactivated);
    // A compositor that chooses the output tells where the HUD went once it is shown.
    if (QWindow *handle = m_window->windowHandle())
        connect(handle, &QWindow::screenChanged, this, &SearchWindowController::placePanels);
    // The model lives as long as the results view whose list shows it.
    auto *model = new ResultListModel(viewModel);
    m_resultsView = new ResultsWindowView(viewModel, *model);
    model->setParent(m_resultsView);
    m_resultsPanel->setContent(m_resultsView);

    // The views follow the view model by themselves; the panel is decided by these fields, and
    // a typed key restarts its delay.
    using VM = SearchViewModel;
    for (const auto signal : { &VM::keysChanged, &VM::evaluationChanged,
             &VM::executionStatusChanged, &VM::isBrowsingResultsChanged, &VM::isSearchModeChanged,
             &VM::shouldShowResultsPanelChanged })
        connect(&viewModel, signal, this, &SearchWindowController::scheduleUpdate);
    // A results panel on its way out goes at once, rather than being laid out and drawn once
    // more only to be taken away (the view model hears of it with the scheduled update). The
    // HUD's own change (its keys, its title) is drawn first: it is the frame the user waits
    // for, and taking the panel away costs Qt most of a millisecond.
    connect(&viewModel, &VM::shouldShowResultsPanelChanged, this, [this] {
        if (m_viewModel && m_resultsPanel->isVisible() && !m_viewModel->shouldShowResultsPanel()) {
            if (m_window)
                QCoreApplication::sendPostedEvents(m_window, QEvent::UpdateRequest);
            m_resultsPanel->hide();
        }
    });

    placePanels();
    // Under the panels, so shown before them. Owned here until close() lets it go.
    m_outsideClickCatcher = m_placement
                                ->makeOutsideClickCatcher([self] {
                                    if (self)
                                        self->hudDeactivated();
                                })
                                .release();
    if (m_outsideClickCatcher)
        m_outsideClickCatcher->show();
    // Only a focus this opening's panels got counts: Qt may still name a window of the last
    // opening, or the hidden results panel, as its focus window, and that focus leaving must
    // not close the HUD just shown.
    m_panelFocused = false;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    updateResultsPanel();
}

void SearchWindowController::placePanels()
{
    if (!m_open || !m_window)
        return;
    QScreen *screen = m_placement->screenFor(*m_window);
    if (!screen)
        return;
    const PanelGeometry geometry = layoutPanels(screen->availableGeometry(), m_window->size(),
        m_resultsPanel->size(), aboveCentre, panelGap);
    m_placement->place(*m_window, geometry.hud, *screen);
    m_placement->place(*m_resultsPanel, geometry.results, *screen);
}

void SearchWindowController::scheduleUpdate()
{
    // Several fields change per key press; the panel is decided once they all have.
    if (m_updatePosted)
        return;
    m_updatePosted = true;
    QTimer::singleShot(0, this, [this] {
        m_updatePosted = false;
        updateResultsPanel();
    });
}

void SearchWindowController::updateResultsPanel()
{
    if (!m_open || !m_viewModel)
        return;
    if (!m_viewModel->shouldShowResultsPanel()) {
        m_resultsTimer.stop();
        hideResultsPanel();
    } else if (m_viewModel->isBrowsingResults() || m_viewModel->isSearchMode()) {
        m_resultsTimer.stop();
        showResultsPanel();
    } else {
        scheduleResultsPanel();
    }
}

void SearchWindowController::scheduleResultsPanel()
{
    switch (m_configManager.resultsVisibility()) {
    case ResultsVisibility::immediately:
        m_resultsTimer.stop();
        showResultsPanel();
        break;
    case ResultsVisibility::delayed:
        // Restarted by every change, so the panel shows the delay after the last key.
        m_resultsTimer.start(std::max(0, qRound(m_configManager.resultsDelay() * 1000)));
        break;
    case ResultsVisibility::never:
        m_resultsTimer.stop();
        break;
    }
}

void SearchWindowController::showResultsPanel()
{
    if (!m_open || !m_viewModel)
        return;
    if (m_resultsPanel->isVisible()) {
        m_viewModel->setResultsPanelVisible(true);
        return;
    }
    // The panel is drawn once, where it stays: the view model's change (which refreshes the
    // rows) comes first, the list lays out its rows and scroll bar now rather than with its
    // posted layout after the first frame, and the panel takes its final size and place.
    m_viewModel->setResultsPanelVisible(true);
    if (!m_open)
        return; // the change closed the HUD
    m_resultsView->list()->doItemsLayout();
    m_resultsPanel->fitContent();
    placePanels();
    // Its window was made before the windows shown since; raised, it maps above them.
    m_resultsPanel->raise();
    m_resultsPanel->show(); // without activating: the HUD keeps the focus
    // Showing marks each widget for a whole repaint with an event Qt posts, which would arrive
    // only after the map's expose has drawn the panel: a second frame of the same pixels.
    // Delivered now, the marks add nothing to what the first paint draws.
    QCoreApplication::sendPostedEvents(m_resultsPanel.get(), QEvent::UpdateLater);
    for (QWidget *child : m_resultsPanel->findChildren<QWidget *>())
        QCoreApplication::sendPostedEvents(child, QEvent::UpdateLater);
}

void SearchWindowController::hideResultsPanel()
{
    m_resultsPanel->hide();
    if (m_viewModel)
        m_viewModel->setResultsPanelVisible(false);
}

void SearchWindowController::hudDeactivated()
{
    // A window manager (or platform) that hands the focus to the results panel in spite of
    // its hints must not close the HUD: the focus goes back to it.
    if (!m_open)
        return;
    if (QApplication::activeWindow() == m_resultsPanel.get()) {
        if (m_window)
            m_window->activateWindow();
        return;
    }
    // A foreground run goes on without the HUD (the app keeps its view model until it ends).
    close();
}

void SearchWindowController::close()
{
    if (!m_open)
        return;
    m_resultsTimer.stop();
    hideResultsPanel();
    if (m_viewModel)
        disconnect(m_viewModel, nullptr, this, nullptr);
    m_open = false;
    m_viewModel = nullptr;
    // The HUD (with its view) and the results view (with the model) go later: this may run
    // inside one of their events.
    m_closingWindow = std::exchange(m_window, nullptr);
    m_closingWindow->disconnect(this);
    m_closingWindow->hide();
    m_closingWindow->deleteLater();
    m_resultsPanel->setContent(nullptr);
    m_searchView = nullptr;
    m_resultsView = nullptr;
    if (m_outsideClickCatcher) {
        m_outsideClickCatcher->hide();
        m_outsideClickCatcher->deleteLater();
    }
    Q_EMIT closed();
}

} // namespace runel::gui
