#pragma once

#include "SettingsContext.h"

#include <QList>
#include <QUuid>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace runel::gui {

class FormSection;

// The Shortcuts tab: the user shortcuts, each a key sequence to type into the HUD and a hot key
// that plays it. Every edit writes the whole list at once.
class ShortcutsView : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutsView(SettingsContext &context, QWidget *parent = nullptr);

    struct Row {
        QUuid id;
        QLineEdit *keySequence;
        QWidget *recorder;
        QPushButton *remove;
        // Under the line where Runel has no hot keys of its own; else null.
        QWidget *desktopBinding;
    };
    const QList<Row> &rows() const { return m_rows; }
    QPushButton *addButton() const { return m_add; }
    // The "No shortcuts yet." row while the list is empty; null otherwise.
    QWidget *emptyRow() const { return m_empty; }

    // "shortcut-" and the id, upper-case: the hot key name of a user shortcut.
    static QString shortcutName(const QUuid &id);

private:
    void refresh();
    void rebuild();
    void add();
    void remove(const QUuid &id);
    void edit(const QUuid &id, const QString &keySequence);

    SettingsContext &m_context;
    FormSection *m_section;
    QPushButton *m_add;
    QWidget *m_empty = nullptr;
    QList<Row> m_rows;
};

} // namespace runel::gui
