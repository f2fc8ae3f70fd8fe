#include "LogView.h"

#include "LogRunDelegate.h"
#include "LogRunModel.h"
#include "SettingsForm.h"
#include "SystemServices.h"
#include "execution/LogStore.h"

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

LogView::LogView(SettingsContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_pages(new QStackedWidget(this))
    , m_placeholder(new PlaceholderView)
    , m_emptyPage(new QWidget)
    , m_listPage(new QWidget)
    , m_list(new QListView)
    , m_model(new LogRunModel(this))
    , m_clear(SettingsForm::footerButton(u"Clear"_s, u"trash"_s))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);

    m_list->setModel(m_model);
    m_list->setItemDelegate(new LogRunDelegate(m_list));
    // Every row has the same height: the view never measures ten thousand rows.
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setCursor(Qt::PointingHandCursor);
    auto *listLayout = new QVBoxLayout(m_listPage);
    auto *section = new FormSection({});
    section->addRow(m_list);
    section->setFooter(m_clear);
    listLayout->addWidget(section);

    auto *emptyLayout = new QVBoxLayout(m_emptyPage);
    auto *emptySection = new FormSection({});
    emptySection->addRow(SettingsForm::emptyRow(u"No scripts have run yet."_s));
    emptyLayout->addWidget(emptySection);
    emptyLayout->addStretch(1);
    m_placeholder->setContent(u"arrow.triangle.2.circlepath"_s, u"Loading logs\u2026"_s);

    m_pages->addWidget(m_placeholder);
    m_pages->addWidget(m_emptyPage);
    m_pages->addWidget(m_listPage);

    LogStore &store = context.logStore;
    SystemServices &services = context.services;
    connect(m_clear, &QPushButton::clicked, &store, [&store] { store.clear(); });
    connect(m_list, &QListView::clicked, this, [&services](const QModelIndex &index) {
        services.open(index.data(LogRunModel::logPathRole).toString());
    });
    connect(m_list, &QListView::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = m_list->indexAt(at);
        if (!index.isValid())
            return;
        QMenu menu(this);
        menu.addActions(rowActions(index.row(), &menu));
        menu.exec(m_list->viewport()->mapToGlobal(at));
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
    QScrollBar *scroll = m_list->verticalScrollBar();
    // Following the newest run: a list scrolled to its end stays at its end as runs come in.
    const bool atEnd = m_model->rowCount() == 0 || scroll->value() == scroll->maximum();
    m_model->setRuns(store.runs());
    if (store.isLoading() && store.runs().isEmpty()) {
        m_shows = Shows::loading;
        m_pages->setCurrentWidget(m_placeholder);
    } else if (store.runs().isEmpty()) {
        m_shows = Shows::empty;
        m_pages->setCurrentWidget(m_emptyPage);
    } else {
        m_shows = Shows::list;
        m_pages->setCurrentWidget(m_listPage);
        if (atEnd)
            m_list->scrollToBottom();
    }
}

} // namespace runel::gui
