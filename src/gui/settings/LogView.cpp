#include "LogView.h"

#include "LogRunDelegate.h"
#include "LogRunModel.h"
#include "SettingsForm.h"
#include "core/SystemServices.h"
#include "core/log/LogStore.h"

#include <QAction>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

LogView::LogView(SettingsContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_model(new LogRunModel(this))
    , m_clear(SettingsForm::footerButton(u"Clear"_s, u"trash"_s))
    , m_openProblem(new QLabel)
{
    m_openProblem->setWordWrap(true);
    m_openProblem->setTextFormat(Qt::PlainText);
    m_openProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_openProblem->setAutoFillBackground(true);
    m_openProblem->setMargin(8);
    m_openProblem->setBackgroundRole(QPalette::ToolTipBase);
    m_openProblem->setForegroundRole(QPalette::ToolTipText);
    m_openProblem->hide();
    m_pages = new ListPages(
        m_model, new LogRunDelegate, u"No scripts have run yet."_s, m_openProblem, m_clear,
        [this](int row, QWidget *menuParent) { return rowActions(row, menuParent); }, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);
    list()->setCursor(Qt::PointingHandCursor);
    placeholder()->setContent(u"arrow.triangle.2.circlepath"_s, u"Loading logs\u2026"_s);

    LogStore &store = context.logStore;
    connect(m_clear, &QPushButton::clicked, &store, [&store] { store.clear(); });
    connect(list(), &QListView::clicked, this, [this](const QModelIndex &index) {
        openLog(index.data(LogRunModel::logPathRole).toString(), index.data().toString());
    });
    connect(&store, &LogStore::runsChanged, this, &LogView::update);
    connect(&store, &LogStore::isLoadingChanged, this, &LogView::update);
    m_folderChanged.setSingleShot(true);
    m_folderChanged.setInterval(100);
    connect(&m_folderChanged, &QTimer::timeout, this, [this] {
        watchFolder(); // a folder made again needs a new watch
        m_context.logStore.reload();
    });
    update();
}

QString LogView::openProblem() const
{
    return m_openProblem->isHidden() ? QString() : m_openProblem->text();
}

void LogView::openLog(const QString &path, const QString &scriptName)
{
    if (m_context.services.open(path)) {
        m_openProblem->hide();
        return;
    }
    m_openProblem->setText(
        u"The log of \u201c%1\u201d could not be opened: no application opens text files here. "
        u"Set a default text editor in your desktop's settings, or open %2 yourself."_s.arg(
            scriptName, path));
    m_openProblem->show();
}

void LogView::watchFolder()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, &m_folderChanged,
            qOverload<>(&QTimer::start));
    }
    const QString folder = m_context.logStore.logDirectory();
    for (const QString &path : { QFileInfo(folder).absolutePath(), folder }) {
        if (QFileInfo(path).isDir() && !m_watcher->directories().contains(path))
            m_watcher->addPath(path);
    }
}

QList<QAction *> LogView::rowActions(int row, QWidget *menuParent)
{
    const QString path = m_model->run(row).logPath();
    SystemServices &services = m_context.services;
    auto *open = new QAction(
        SettingsForm::symbolIcon(u"doc.text"_s, palette()), u"Open Log"_s, menuParent);
    const QString scriptName = m_model->run(row).scriptName();
    connect(
        open, &QAction::triggered, this, [this, path, scriptName] { openLog(path, scriptName); });
    auto *reveal = new QAction(
        SettingsForm::symbolIcon(u"folder"_s, palette()), u"Show in File Manager"_s, menuParent);
    connect(reveal, &QAction::triggered, this, [&services, path] { services.reveal(path); });
    return { open, reveal };
}

void LogView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    watchFolder();
    m_context.logStore.reload();
}

void LogView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    delete m_watcher;
    m_watcher = nullptr;
    m_folderChanged.stop();
    m_openProblem->hide();
    m_context.logStore.releaseFinishedRuns();
}

void LogView::update()
{
    const LogStore &store = m_context.logStore;
    QScrollBar *scroll = list()->verticalScrollBar();
    // Following the newest run: a list scrolled to its end stays at its end as runs come in.
    const bool atEnd = m_model->rowCount() == 0 || scroll->value() == scroll->maximum();
    m_model->setRuns(store.runs());
    if (store.isLoading() && store.runs().isEmpty()) {
        m_shows = Shows::loading;
        m_pages->showPlaceholder();
    } else if (store.runs().isEmpty()) {
        m_shows = Shows::empty;
        m_pages->showEmpty();
    } else {
        m_shows = Shows::list;
        m_pages->showList();
        if (atEnd)
            list()->scrollToBottom();
    }
}

} // namespace runel::gui
