#include "AppDelegate.h"

#include "core/SystemServices.h"
#include "core/hud/SearchViewModel.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "gui/hud/SearchWindowController.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <malloc.h>

#include <utility>

namespace runel::gui {

namespace {

// A closed HUD (its widgets, results and row cache) and a replaced index are freed in bursts
// that the allocator would keep for reuse, in the main heap and in the worker threads' arenas:
// an idle launcher hands them back to the system. Queued, so that what deleteLater frees on
// this turn of the event loop goes back too.
void returnFreedMemorySoon(QObject *context)
{
#ifdef __GLIBC__
    QTimer::singleShot(0, context, [] { malloc_trim(0); });
#else
    Q_UNUSED(context);
#endif
}

} // namespace

AppDelegate::AppDelegate(ConfigManager &configManager, ScriptStore &scriptStore, LogStore &logStore,
    SystemServices &services, QObject *parent)
    : QObject(parent)
    , m_configManager(configManager)
    , m_scriptStore(scriptStore)
    , m_logStore(logStore)
    , m_services(services)
{
    // Every index the store builds comes with its search catalog, made on the worker thread, so
    // the first search key after a reload does not build it.
    SearchCatalog::buildWithIndexes(m_scriptStore);

    // The run log is read for the scripts' use (recalled arguments, ranking) along with each
    // reload of the scripts, on the log's worker, never per key; runs started meanwhile are
    // counted as they start.
    connect(&m_scriptStore, &ScriptStore::isLoadingChanged, &m_logStore, [this] {
        if (m_scriptStore.isLoading())
            m_logStore.reloadRunHistory();
    });

    // An edit of the folder reaches the HUD as a reload of the store: the open HUD's keys are
    // evaluated again, and a foreground run goes on with the file it started with.
    connect(&m_scriptsWatcher, &ScriptsFolderWatcher::changed, &m_scriptStore,
        [store = &m_scriptStore] { store->reload(); });
    // Watched from the first index on, and after a change of folder from its first index: by
    // then the store has created the folder.
    connect(&m_scriptStore, &ScriptStore::scriptIndexChanged, this, [this] {
        m_scriptsWatcher.watch(m_configManager.scriptsDir());
        // While a HUD is open it still holds the index it shows; it goes with the HUD.
        if (!isSearchWindowOpen())
            returnFreedMemorySoon(this);
    });

    // One controller for the app's life: its results panel is made now, so an opening only
    // fills and maps it.
    m_searchWindowController = new SearchWindowController(m_configManager, this);
    connect(m_searchWindowController, &SearchWindowController::closed, this,
        &AppDelegate::searchWindowClosed);
}

AppDelegate::~AppDelegate()
{
    // The controller closes its panels before the view models they show go.
    delete std::exchange(m_searchWindowController, nullptr);
}

void AppDelegate::finishLaunching()
{
    QTimer::singleShot(0, &m_scriptStore, [store = &m_scriptStore] { store->reload(); });
    // The first launch shows the settings window; until there is one to show, the flag is kept
    // for the launch that can.
    if (m_configManager.isFirstLaunch() && m_openSettingsAction) {
        m_configManager.setIsFirstLaunch(false);
        openSettings();
    }
}

bool AppDelegate::isSearchWindowOpen() const
{
    return m_searchWindowController && m_searchWindowController->isOpen();
}

SearchWindowController *AppDelegate::searchWindowController() const
{
    return isSearchWindowOpen() ? m_searchWindowController : nullptr;
}

void AppDelegate::showSearchWindow()
{
    if (isSearchWindowOpen())
        return;
    // A folder that is not watched (missing, or too large to watch) is read again now.
    if (!m_scriptsWatcher.isWatching()) {
        m_scriptsWatcher.watch(m_configManager.scriptsDir());
        m_scriptStore.reload();
    }
    // Runs started from the command line since the last read are offered in this opening.
    m_logStore.refreshRunHistory();
    // Every opening is fresh, even while a run started from an earlier one goes on.
    m_viewModel = new SearchViewModel(m_configManager, m_scriptStore, m_logStore, m_services, this);
    m_searchWindowController->show(*m_viewModel);
}

void AppDelegate::hideSearchWindow()
{
    m_searchWindowController->close(); // its closed() lets go of the view model
}

void AppDelegate::searchWindowClosed()
{
    if (SearchViewModel *viewModel = std::exchange(m_viewModel, nullptr))
        releaseViewModel(viewModel);
    returnFreedMemorySoon(this);
}

void AppDelegate::releaseViewModel(SearchViewModel *viewModel)
{
    viewModel->setOnDismiss({});
    if (!viewModel->executionStatus().is(ExecutionStatus::Kind::runningForeground)) {
        viewModel->deleteLater();
        return;
    }
    // The run goes on without the HUD. Its view model (and coordinator) stays until the run
    // has its outcome, so that the outcome is sounded as well as logged.
    m_backgroundViewModels.push_back(viewModel);
    connect(viewModel, &SearchViewModel::executionStatusChanged, this, [this, viewModel] {
        if (viewModel->executionStatus().is(ExecutionStatus::Kind::runningForeground))
            return;
        std::erase(m_backgroundViewModels, viewModel);
        viewModel->disconnect(this);
        viewModel->deleteLater();
    });
}

void AppDelegate::runKeysInHud(const QString &keys)
{
    showSearchWindow();
    if (!keys.isEmpty() && m_viewModel)
        m_viewModel->runSequence(keys);
}

quintptr AppDelegate::hudWindowId() const
{
    QWidget *hud = isSearchWindowOpen() ? m_searchWindowController->hudWindow() : nullptr;
    return hud ? hud->winId() : 0;
}

bool AppDelegate::hudHasFocus() const
{
    QWidget *hud = isSearchWindowOpen() ? m_searchWindowController->hudWindow() : nullptr;
    return hud && QGuiApplication::focusWindow() == hud->windowHandle();
}

void AppDelegate::toggleSearchWindow()
{
    if (isSearchWindowOpen())
        hideSearchWindow();
    else
        showSearchWindow();
}

void AppDelegate::toggleSearchModeFromHotKey()
{
    if (!isSearchWindowOpen()) {
        showSearchWindow();
        if (m_viewModel)
            m_viewModel->toggleSearchMode();
        return;
    }
    if (!m_viewModel)
        return;
    if (m_viewModel->isSearchMode())
        hideSearchWindow();
    else
        m_viewModel->toggleSearchMode();
}

void AppDelegate::openScriptsFolder()
{
    m_services.open(m_configManager.scriptsDir());
}

void AppDelegate::reloadScripts()
{
    if (m_viewModel) {
        QTimer::singleShot(
            0, m_viewModel, [viewModel = m_viewModel] { viewModel->reloadScripts(); });
        return;
    }
    QTimer::singleShot(0, &m_scriptStore, [store = &m_scriptStore] { store->reload(); });
}

void AppDelegate::setOpenSettingsAction(std::function<void()> action)
{
    m_openSettingsAction = std::move(action);
}

void AppDelegate::openSettings()
{
    hideSearchWindow();
    if (m_openSettingsAction)
        m_openSettingsAction();
    QTimer::singleShot(0, this, &AppDelegate::bringSettingsWindowToFront);
}

void AppDelegate::bringSettingsWindowToFront()
{
    // The HUD's panels are tool windows and never count.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowType() == Qt::Window
            && !window->testAttribute(Qt::WA_ShowWithoutActivating)) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
}

void AppDelegate::quitApp()
{
    QCoreApplication::quit();
}

void AppDelegate::perform(InstanceCommand command)
{
    switch (command) {
    case InstanceCommand::show:
    case InstanceCommand::showKeys: // its keys are played by GlobalShortcuts::playKeys
        showSearchWindow();
        break;
    case InstanceCommand::hide:
        hideSearchWindow();
        break;
    case InstanceCommand::toggle:
    case InstanceCommand::reopen:
        toggleSearchWindow();
        break;
    case InstanceCommand::toggleSearch:
        toggleSearchModeFromHotKey();
        break;
    case InstanceCommand::reload:
        reloadScripts();
        break;
    case InstanceCommand::settings:
        openSettings();
        break;
    case InstanceCommand::quit:
        quitApp();
        break;
    }
}

} // namespace runel::gui
