#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

// A private home for one test: HOME and the XDG folders point into a temporary folder, so no
// test touches the real user's settings, scripts or logs.
class TestHome {
public:
    TestHome()
    {
        QVERIFY2(m_dir.isValid(), "cannot create a temporary folder");
        for (const auto &[name, folder] :
            { std::pair { "HOME", "" }, { "XDG_CONFIG_HOME", "/config" },
                { "XDG_DATA_HOME", "/data" }, { "XDG_RUNTIME_DIR", "/runtime" } }) {
            m_saved.append({ name, qgetenv(name) });
            qputenv(name, m_dir.path().toUtf8() + folder);
        }
    }
    ~TestHome()
    {
        for (const auto &[name, value] : m_saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
    QList<std::pair<const char *, QByteArray>> m_saved;
};

// Writes a file (creating its folders) with the given text; returns its absolute path.
inline QString writeFile(
    const QString &path, const QByteArray &contents = QByteArray("#!/bin/bash\n"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(contents);
    return QFileInfo(path).absoluteFilePath();
}

// A file's bytes; empty when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// While it lives, a write that would take any file of this process past bytes fails with EFBIG,
// as on a full disk; a write across the limit is short (it writes up to the limit). SIGXFSZ is
// ignored meanwhile, so the failure is an error, not the end of the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { bytes, m_saved.rlim_max };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved {};
    void (*m_savedHandler)(int) = SIG_DFL;
};

// ---- The HUD's collaborators on a temporary scripts folder (HUD tests) ----------------------

#include "core/SystemServices.h"
#include "core/hud/SearchViewModel.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/SettingsFile.h"

#include <QSignalSpy>
#include <memory>

// Records what the core asked of the desktop.
class RecordingServices : public runel::SystemServices {
public:
    QString clipboard;
    QStringList sounds;
    int beeps = 0;
    QString clipboardText() override { return clipboard; }
    void playSound(const QString &name) override { sounds.append(name); }
    void beep() override { ++beeps; }
    bool open(const QString &) override { return true; }
    void reveal(const QString &) override { }
};

// A private home with the given scripts (relative path -> contents), the settings store, a
// loaded script store, a run log and a view model on them. Scripts run 50 ms after their keys.
class HudStack {
public:
    explicit HudStack(const QList<std::pair<QString, QByteArray>> &scripts)
    {
        for (const auto &[path, contents] : scripts)
            writeFile(home.file(QStringLiteral("scripts/") + path), contents);
        auto settings = std::make_unique<runel::SettingsFile>(runel::SettingsFile::defaultPath());
        settings->setValue("scriptsDir", home.file(QStringLiteral("scripts")).toStdString());
        settings->setValue("scriptDelay", 0.05);
        config = std::make_unique<runel::ConfigManager>(std::move(settings), QString());
        store = std::make_unique<runel::ScriptStore>(*config);
        QSignalSpy published(store.get(), &runel::ScriptStore::scriptIndexChanged);
        store->reload();
        loaded = published.wait();
        log = std::make_unique<runel::LogStore>(home.file(QStringLiteral("logs")));
        viewModel = std::make_unique<runel::SearchViewModel>(*config, *store, *log, services);
    }

    // Destroyed in reverse order: the view model before the stores it uses, the home last.
    TestHome home;
    RecordingServices services;
    std::unique_ptr<runel::ConfigManager> config;
    std::unique_ptr<runel::ScriptStore> store;
    std::unique_ptr<runel::LogStore> log;
    std::unique_ptr<runel::SearchViewModel> viewModel;
    bool loaded = false;
};

// ---- A script index of a tree written for one case (index tests) ---------------------------

#include "core/index/ScriptIndex.h"

class IndexTree {
public:
    QString root() const { return m_dir.path() + QStringLiteral("/scripts"); }
    // Builds the index of a fresh tree given as "path" or "path=contents" entries; "<invalid>"
    // in the contents stands for bytes that are not UTF-8.
    const runel::ScriptIndex &build(const QStringList &files, bool enhanceLabels = true)
    {
        QDir(root()).removeRecursively();
        QDir().mkpath(root());
        for (const QString &file : files) {
            const qsizetype equals = file.indexOf(u'=');
            QByteArray contents = equals < 0 ? QByteArray("echo\n") : file.mid(equals + 1).toUtf8();
            contents.replace("<invalid>", "\xff\xfe");
            writeFile(root() + u'/' + file.left(equals), contents);
        }
        runel::ScriptIndex::Configuration configuration;
        configuration.enhanceLabels = enhanceLabels;
        index = runel::ScriptIndex::scanAndBuild(root(), configuration).value();
        return *index;
    }

    std::unique_ptr<runel::ScriptIndex> index;

private:
    QTemporaryDir m_dir;
};

// ---- The settings window on a HudStack (settings tests) -------------------------------------
// Only in the tests that link the GUI (see runel_add_test): the core's tests have no Widgets.
#ifdef RUNEL_TEST_LINKS_GUI

#include "core/XdgDirs.h"
#include "gui/settings/SettingsWindow.h"
#include "login-item/LaunchAtLogin.h"

#include <QLabel>
#include <nlohmann/json.hpp>

// Also records what was opened and shown in the file manager.
class FileRecordingServices : public RecordingServices {
public:
    QStringList opened;
    QStringList revealed;
    bool opens = true; // false: no application opens anything
    bool open(const QString &path) override
    {
        opened.append(path);
        return opens;
    }
    void reveal(const QString &path) override { revealed.append(path); }
};

// The settings window on real stores in a private home. The hot key recorders are labels named
// after their shortcut; resetShortcut records the names it was given.
class SettingsStack {
public:
    explicit SettingsStack(const QList<std::pair<QString, QByteArray>> &scripts = {})
        : hud(scripts)
        , launchAtLogin(runel::XdgDirs::autostartDir(), QStringLiteral("/opt/runel/bin/runel"))
    {
        runel::gui::SettingsContext context { *hud.config, *hud.store, *hud.log, services,
            launchAtLogin,
            [](const QString &name, QWidget *parent) -> QWidget * {
                auto *recorder = new QLabel(QStringLiteral("Record Shortcut"), parent);
                recorder->setObjectName(name);
                return recorder;
            },
            [this](const QString &name) { resetNames.append(name); } };
        window = std::make_unique<runel::gui::SettingsWindow>(std::move(context));
    }

    // The value settings.json holds under key, read from the disk.
    nlohmann::json stored(const char *key) const
    {
        const nlohmann::json object = nlohmann::json::parse(
            fileBytes(runel::SettingsFile::defaultPath()).toStdString(), nullptr, false);
        return object.is_object() ? object.value(key, nlohmann::json()) : nlohmann::json();
    }

    HudStack hud;
    FileRecordingServices services;
    runel::LaunchAtLogin launchAtLogin;
    QStringList resetNames;
    std::unique_ptr<runel::gui::SettingsWindow> window;
};

#endif

// ---- Pictures in a light and a dark palette, for people to look at (widget tests) ----------
#ifdef QT_WIDGETS_LIB

#include <QApplication>
#include <functional>

inline QPalette themePalette(bool dark)
{
    QPalette palette = dark ? QPalette(QColor(0x30, 0x30, 0x30), QColor(0x24, 0x24, 0x24))
                            : QPalette(QColor(0xf6, 0xf6, 0xf6));
    if (dark) {
        for (const auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
            palette.setColor(role, QColor(0xee, 0xee, 0xee));
        palette.setColor(QPalette::Base, QColor(0x2c, 0x2c, 0x2c));
        palette.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    }
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    return palette;
}

// Calls take("light") and take("dark") with the application in that palette, then puts the
// palette it had back.
inline void inBothThemes(const std::function<void(const QString &theme)> &take)
{
    const QPalette saved = QApplication::palette();
    for (const bool dark : { false, true }) {
        QApplication::setPalette(themePalette(dark));
        QApplication::processEvents();
        take(dark ? QStringLiteral("dark") : QStringLiteral("light"));
    }
    QApplication::setPalette(saved);
}

#endif
