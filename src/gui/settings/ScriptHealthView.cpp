#include "ScriptHealthView.h"

#include "ScriptHealthModel.h"
#include "ScriptRowDelegate.h"
#include "SettingsForm.h"
#include "core/SystemServices.h"
#include "core/index/ScriptStore.h"

#include <QAction>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

QWidget *columnHeader()
{
    auto *header = new QWidget;
    auto *line = new QHBoxLayout(header);
    line->setContentsMargins(8, 0, 8, 0);
    for (const QString &title : { u"Script"_s, u"Key Sequence"_s }) {
        auto *label = new SecondaryLabel(title);
        label->setFont(SettingsForm::relativeFont(label->font(), 13, QFont::Medium));
        line->addWidget(label);
        if (line->count() == 1)
            line->addStretch(1);
    }
    return header;
}

} // namespace

ScriptHealthView::ScriptHealthView(SettingsContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_model(new ScriptHealthModel(this))
    , m_reload(SettingsForm::footerButton(u"Reload"_s, u"arrow.triangle.2.circlepath"_s))
{
    m_pages = new ListPages(
        m_model, new ScriptRowDelegate, u"No scripts found in the scripts folder."_s,
        columnHeader(), m_reload,
        [this](int row, QWidget *menuParent) { return rowActions(row, menuParent); }, this);
    // A script with a finding of runel check gets a second line, so rows differ in height.
    m_pages->list()->setUniformItemSizes(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);

    ScriptStore &store = context.scriptStore;
    connect(m_reload, &QPushButton::clicked, &store, [&store] { store.reload(); });
    connect(&store, &ScriptStore::scriptIndexChanged, this, &ScriptHealthView::update);
    connect(&store, &ScriptStore::isLoadingChanged, this, &ScriptHealthView::update);
    connect(&store, &ScriptStore::errorChanged, this, &ScriptHealthView::update);
    update();
}

QList<QAction *> ScriptHealthView::rowActions(int row, QWidget *menuParent)
{
    const QString path = m_model->item(row).script->path;
    SystemServices &services = m_context.services;
    auto *open = new QAction(u"Open with default app"_s, menuParent);
    connect(open, &QAction::triggered, this, [&services, path] { services.open(path); });
    auto *reveal = new QAction(u"Show in File Manager"_s, menuParent);
    connect(reveal, &QAction::triggered, this, [&services, path] { services.reveal(path); });
    return { open, reveal };
}

void ScriptHealthView::update()
{
    const ScriptStore &store = m_context.scriptStore;
    const std::shared_ptr<const ScriptIndex> index = store.scriptIndex();
    const bool hasRows = index && !index->health.empty();
    // Only a new index resets the rows: a change of the loading state keeps the scroll position.
    if (m_model->scriptIndex() != index)
        m_model->setIndex(index);
    if (store.isLoading() && !hasRows) {
        m_shows = Shows::scanning;
        placeholder()->setContent(u"arrow.triangle.2.circlepath"_s, u"Scanning scripts\u2026"_s);
        m_pages->showPlaceholder();
    } else if (store.error()) {
        m_shows = Shows::error;
        placeholder()->setContent(u"exclamationmark.triangle"_s, *store.error(), u"Retry"_s,
            [store = &m_context.scriptStore] { store->reload(); });
        m_pages->showPlaceholder();
    } else if (hasRows) {
        m_shows = Shows::list;
        m_pages->showList();
    } else {
        m_shows = Shows::empty;
        m_pages->showEmpty();
    }
    m_reload->setEnabled(!store.isLoading());
}

} // namespace runel::gui
