#pragma once

#include "ScriptIndex.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace runel {

class ConfigManager;

// Owns the current script index and rebuilds it on request. Lives on the main thread; every
// build runs on a worker thread and only the newest request may publish its result. A failed
// build keeps the previous index and sets error.
class ScriptStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString error READ errorText NOTIFY errorChanged)

public:
    // Reads scriptsDir and enhanceLabels from config at every reload, and prepares the folder
    // (ScriptsFolder) before the scan when config asks for it; config must outlive the store.
    // The store follows config's reloadRequested.
    explicit ScriptStore(ConfigManager &config, QObject *parent = nullptr);
    ~ScriptStore() override;

    // The process-wide store on ConfigManager::shared(), created on first use.
    static ScriptStore &shared();

    std::shared_ptr<const ScriptIndex> scriptIndex() const { return m_scriptIndex; }
    bool isLoading() const { return m_isLoading; }
    const std::optional<QString> &error() const { return m_error; }
    QString errorText() const { return m_error.value_or(QString()); }
    int reloadGeneration() const { return m_reloadGeneration; }
    // Whether a build has ended, with an index or an error. Until then scriptIndex() is the
    // empty index the store began with, which names no script.
    bool hasLoaded() const { return m_hasLoaded; }

    // Starts a rebuild and returns at once. completion runs on the main thread after the build
    // succeeds, and only when no newer reload was started meanwhile.
    void reload(std::function<void()> completion = {});

    // Work done with every new index on the worker thread that built it, before it is
    // published: for what upper layers derive from an index (a search catalog). Must be
    // thread-safe; taken by the reloads started after this call.
    using Preparation = std::function<void(const std::shared_ptr<const ScriptIndex> &)>;
    void setPreparation(Preparation preparation) { m_preparation = std::move(preparation); }

Q_SIGNALS:
    // Emitted every time an index is published, even one equal to the previous.
    void scriptIndexChanged();
    void isLoadingChanged();
    void errorChanged();

private:
    struct ReloadResult;
    void apply(
        int generation, std::shared_ptr<ReloadResult> result, std::function<void()> completion);
    void setLoading(bool loading);
    void setError(std::optional<QString> error);

    ConfigManager &m_config;
    std::shared_ptr<const ScriptIndex> m_scriptIndex;
    bool m_isLoading = false;
    std::optional<QString> m_error;
    // The running build's cancellation flag; the build checks it after the scan and the build.
    std::shared_ptr<std::atomic_bool> m_reloadTask;
    int m_reloadGeneration = 0;
    bool m_hasLoaded = false;
    Preparation m_preparation;
    // Builds on worker threads hold this weakly; it dies with the store (main thread only).
    std::shared_ptr<ScriptStore *> m_self;
};

} // namespace runel
