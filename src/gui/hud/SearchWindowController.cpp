#include "SearchWindowController.h"

#include "HudPanel.h"
#include "ResultsWindowView.h"
#include "SearchView.h"
#include "core/hud/ResultListModel.h"
#include "core/hud/SearchViewModel.h"
#include "core/settings/ConfigManager.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>

namespace runel::gui {

SearchWindowController::SearchWindowController(ConfigManager &configManager, QObject *parent)
    : QObject(parent)
    , m_configManager(configManager)
    , m_placement(makePanelPlacement())
{
    m_resultsTimer.setSingleShot(true);
    connect(&m_resultsTimer, &QTimer::timeout, this, [this] {
        if (m_viewModel && m_viewModel->shouldShowResultsPanel())
            showResultsPanel();
    });
}

SearchWindowController::~SearchWindowController()
{
    close();
    // Panels still waiting for their deferred deletion go with the controller.
    delete m_closingWindow;
    delete m_closingResultsPanel;
    delete m_outsideClickCatcher;
}

QWidget *SearchWindowController::hudWindow() const
{
    return m_window;
}

QWidget *SearchWindowController::resultsWindow() const
{
    return m_resultsPanel;
}

void SearchWindowController::show(SearchViewModel &viewModel)
{
    if (m_wasShown)
        return;
    m_wasShown = true;
    m_viewModel = &viewModel;
    QPointer<SearchWindowController> self(this);
    viewModel.setOnDismiss([self] {
        if (self)
            self->close();
    });

    m_searchView = new SearchView(viewModel);
    m_window = new HudPanel(m_searchView, true);
    m_window->setWindowTitle(QStringLiteral("Runel"));
    m_placement->prepare(*m_window, PanelRole::hud);
    // The model lives as long as the results panel whose list shows it.
    auto *model = new ResultListModel(viewModel);
    m_model = model;
    m_resultsView = new ResultsWindowView(viewModel, *model);
    model->setParent(m_resultsView);
    m_resultsPanel = new HudPanel(m_resultsView, false);
    m_resultsPanel->setWindowTitle(QStringLiteral("Runel Results"));
    m_placement->prepare(*m_resultsPanel, PanelRole::results);

    // The views follow the view model by themselves; the panel is decided by these fields, and
    // a typed key restarts its delay.
    using VM = SearchViewModel;
    for (const auto signal : { &VM::keysChanged, &VM::evaluationChanged,
             &VM::executionStatusChanged, &VM::isBrowsingResultsChanged, &VM::isSearchModeChanged,
             &VM::shouldShowResultsPanelChanged })
        connect(&viewModel, signal, this, &SearchWindowController::scheduleUpdate);
    connect(m_window, &HudPanel::resized, this, &SearchWindowController::placePanels);
    connect(m_resultsPanel, &HudPanel::resized, this, &SearchWindowController::placePanels);
    connect(m_window, &HudPanel::deactivated, this, &SearchWindowController::hudDeactivated);

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
    m_window->show();
    // A compositor that chooses the output tells where the HUD went once it is shown.
    if (QWindow *handle = m_window->windowHandle())
        connect(handle, &QWindow::screenChanged, this, &SearchWindowController::placePanels);
    m_window->raise();
    m_window->activateWindow();
    updateResultsPanel();
}

void SearchWindowController::placePanels()
{
    if (!m_window)
        return;
    QScreen *screen = m_placement->screenFor(*m_window);
    if (!screen)
        return;
    const PanelGeometry geometry = layoutPanels(screen->availableGeometry(), m_window->size(),
        m_resultsPanel ? m_resultsPanel->size() : QSize(), aboveCentre, panelGap);
    m_placement->place(*m_window, geometry.hud, *screen);
    if (m_resultsPanel)
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
    if (!m_viewModel || !m_window)
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
    if (!m_resultsPanel || !m_viewModel)
        return;
    placePanels();
    if (!m_resultsPanel->isVisible())
        m_resultsPanel->show(); // without activating: the HUD keeps the focus
    m_viewModel->setResultsPanelVisible(true);
}

void SearchWindowController::hideResultsPanel()
{
    if (m_resultsPanel)
        m_resultsPanel->hide();
    if (m_viewModel)
        m_viewModel->setResultsPanelVisible(false);
}

void SearchWindowController::hudDeactivated()
{
    // A window manager (or platform) that hands the focus to the results panel in spite of
    // its hints must not close the HUD: the focus goes back to it.
    if (m_resultsPanel && QApplication::activeWindow() == m_resultsPanel) {
        m_window->activateWindow();
        return;
    }
    // A foreground run goes on without the HUD (the app keeps its view model until it ends).
    close();
}

void SearchWindowController::close()
{
    if (!m_window)
        return;
    m_resultsTimer.stop();
    hideResultsPanel();
    if (m_viewModel)
        disconnect(m_viewModel, nullptr, this, nullptr);
    m_closingWindow = m_window;
    m_closingResultsPanel = m_resultsPanel;
    m_window = nullptr;
    m_resultsPanel = nullptr;
    m_searchView = nullptr;
    m_resultsView = nullptr;
    for (HudPanel *panel : { m_closingWindow.data(), m_closingResultsPanel.data() }) {
        panel->disconnect(this);
        panel->hide();
        panel->deleteLater();
    }
    if (m_outsideClickCatcher) {
        m_outsideClickCatcher->hide();
        m_outsideClickCatcher->deleteLater();
    }
    Q_EMIT closed();
}

} // namespace runel::gui
