#include "ScriptStore.h"

#include "ScriptCheck.h"
#include "core/Logging.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/ScriptsFolder.h"
#include "core/threading/MainThreadQueue.h"
#include "core/threading/WorkerThreads.h"

#include <QDir>

namespace runel {

struct ScriptStore::ReloadResult {
    enum class Kind { success, failure, cancelled };
    Kind kind = Kind::cancelled;
    std::shared_ptr<const ScriptIndex> index; // success
    QString message; // failure
};

ScriptStore::ScriptStore(ConfigManager &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_scriptIndex(ScriptIndex::empty())
    , m_self(std::make_shared<ScriptStore *>(this))
{
    connect(&config, &ConfigManager::reloadRequested, this, [this] { reload(); });
}

ScriptStore::~ScriptStore()
{
    if (m_reloadTask)
        *m_reloadTask = true;
}

ScriptStore &ScriptStore::shared()
{
    static ScriptStore *store = new ScriptStore(ConfigManager::shared());
    return *store;
}

void ScriptStore::reload(std::function<void()> completion)
{
    const int generation = ++m_reloadGeneration;
    if (m_reloadTask)
        *m_reloadTask = true;
    setLoading(true);
    setError(std::nullopt);

    const QString root = QDir::cleanPath(m_config.scriptsDir());
    // A newly chosen folder is created and seeded here, off the main thread, before its scan.
    const std::optional<QString> examples = m_config.takeScriptsDirPreparation()
        ? std::optional(m_config.examplesDir())
        : std::nullopt;
    ScriptIndex::Configuration configuration;
    configuration.enhanceLabels = m_config.enhanceLabels();
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    m_reloadTask = cancelled;

    // The worker never touches the store: its result goes back through the main thread's
    // queue and is applied only if the store still exists then.
    std::weak_ptr<ScriptStore *> store = m_self;
    Preparation prepare = m_preparation;
    auto build = [store, generation, root, examples, configuration, cancelled, prepare,
                     completion = std::move(completion)]() mutable {
        auto result = std::make_shared<ReloadResult>();
        if (examples)
            ScriptsFolder::prepare(root, *examples);
        // With the findings the Scripts tab shows beside each script.
        Expected<std::unique_ptr<ScriptIndex>> built = scanAndCheck(root, configuration);
        if (*cancelled) {
            result->kind = ReloadResult::Kind::cancelled;
        } else if (!built) {
            result->kind = ReloadResult::Kind::failure;
            result->message = built.error();
        } else {
            std::shared_ptr<const ScriptIndex> index = std::move(built).value();
            if (prepare && !*cancelled)
                prepare(index);
            if (!*cancelled) {
                result->kind = ReloadResult::Kind::success;
                result->index = std::move(index);
            }
        }
        MainThreadQueue::post([store, generation, result = std::move(result),
                                  completion = std::move(completion)]() mutable {
            if (const std::shared_ptr<ScriptStore *> self = store.lock())
                (*self)->apply(generation, std::move(result), std::move(completion));
        });
    };
    // Without a thread to be had (a process limit), the build runs here: slower, but the
    // store still gets its index rather than loading for ever.
    auto task = std::make_shared<decltype(build)>(std::move(build));
    if (!WorkerThreads::start([task] { (*task)(); }))
        (*task)();
}

void ScriptStore::apply(
    int generation, std::shared_ptr<ReloadResult> result, std::function<void()> completion)
{
    if (generation != m_reloadGeneration)
        return;
    m_reloadTask.reset();
    setLoading(false);
    switch (result->kind) {
    case ReloadResult::Kind::success:
        m_hasLoaded = true;
        m_scriptIndex = std::move(result->index);
        Q_EMIT scriptIndexChanged();
        if (completion)
            completion();
        break;
    case ReloadResult::Kind::failure:
        qCWarning(lcIndex) << "reload failed:" << result->message;
        m_hasLoaded = true;
        setError(result->message);
        break;
    case ReloadResult::Kind::cancelled:
        break;
    }
}

void ScriptStore::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void ScriptStore::setError(std::optional<QString> error)
{
    if (m_error == error)
        return;
    m_error = std::move(error);
    Q_EMIT errorChanged();
}

} // namespace runel
