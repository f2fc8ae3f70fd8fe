#pragma once

#include "SettingsContext.h"
#include "SettingsForm.h"

#include <QWidget>

namespace runel::gui {

class ScriptHealthModel;

// The Scripts tab: every file of the scripts folder with a coloured dot saying whether, and how,
// it can be reached, so the user can see why a script cannot.
class ScriptHealthView : public QWidget {
    Q_OBJECT
public:
    enum class Shows { scanning, error, list, empty };

    explicit ScriptHealthView(SettingsContext &context, QWidget *parent = nullptr);

    Shows shows() const { return m_shows; }
    PlaceholderView *placeholder() const { return m_pages->placeholder(); }
    QListView *list() const { return m_pages->list(); }
    ScriptHealthModel *model() const { return m_model; }
    QPushButton *reloadButton() const { return m_reload; }
    // The context menu's actions for a row, in their order.
    QList<QAction *> rowActions(int row, QWidget *menuParent);

private:
    void update();

    SettingsContext &m_context;
    ScriptHealthModel *m_model;
    ListPages *m_pages;
    QPushButton *m_reload;
    Shows m_shows = Shows::empty;
};

} // namespace runel::gui
