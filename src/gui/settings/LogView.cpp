#include "LogView.h"

#include "LogRunDelegate.h"
#include "LogRunModel.h"
#include "SettingsForm.h"
#include "SystemServices.h"
#include "execution/LogStore.h"

#include <QAction>
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
{
    m_pages = new ListPages(
        m_model, new LogRunDelegate, u"No scripts have run yet."_s, nullptr, m_clear,
        [this](int row, QWidget *menuParent) { return rowActions(row, menuParent); }, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);
    list()->setCursor(Qt::PointingHandCursor);
    placeholder()->setContent(u"arrow.triangle.2.circlepath"_s, u"Loading logs\u2026"_s);

    LogStore &store = context.logStore;
    SystemServices &services = context.services;
    connect(m_clear, &QPushButton::clicked, &store, [&store] { store.clear(); });
    connect(list(), &QListView::clicked, this, [&services](const QModelIndex &index) {
        services.open(index.data(LogRunModel::logPathRole).toString());
    });
    connect(&store, &LogStore::runsChanged, this, &LogView::update);
    connect(&store, &LogStore::isLoadingChanged, this, &LogView::update);
    update();
}

QList<QAction *> LogView::rowActions(int row, QWidget *menuParent)
{
    const QString path = m_model->run(row).logPath();
    SystemServices &services = m_context.services;
    auto *open = new QAction(
        SettingsForm::symbolIcon(u"doc.text"_s, palette()), u"Open Log"_s, menuParent);
    connect(open, &QAction::triggered, this, [&services, path] { services.open(path); });
    auto *reveal = new QAction(
        SettingsForm::symbolIcon(u"folder"_s, palette()), u"Show in File Manager"_s, menuParent);
    connect(reveal, &QAction::triggered, this, [&services, path] { services.reveal(path); });
    return { open, reveal };
}

void LogView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_context.logStore.reload();
}

void LogView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
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
