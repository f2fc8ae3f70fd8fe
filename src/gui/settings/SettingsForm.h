#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QWidget>
#include <functional>

class QAbstractItemDelegate;
class QAbstractItemModel;
class QAction;
class QCheckBox;
class QListView;
class QPainter;
class QVBoxLayout;

namespace runel::gui {

// The building blocks of the settings tabs, in the desktop's grouped-form style: sections of
// rows inside a framed box, a description under each row's title in a small secondary font.
namespace SettingsForm {

// The small secondary text of descriptions: 11 points' worth of the system font, wrapped.
QLabel *descriptionLabel(const QString &text, QWidget *parent = nullptr);
// The grey in which descriptions, paths and placeholders are written.
QColor secondaryColor(const QPalette &palette);
// The fill behind badges and key caps.
QColor quaternaryColor(const QPalette &palette);
// A symbol of the icon table as an icon drawn in the palette's text colour.
QIcon symbolIcon(const QString &symbol, const QPalette &palette, int size = 16);

// The colours of status dots.
enum class DotColor { green, gray, yellow, red, blue };
QColor dotColor(DotColor color, const QPalette &palette);
// A status dot: 8 by 8, centred in rect.
void paintStatusDot(QPainter &painter, const QRect &rect, const QColor &color);
// A font relative to the body font: points of a 13-point body text.
QFont relativeFont(const QFont &body, double points, QFont::Weight weight = QFont::Normal);

// A row: the title with the description under it on the left, the control on the right.
QWidget *labelledRow(
    const QString &title, const QString &description, QWidget *control, QWidget *parent = nullptr);

// A switch without text of its own; title names it for assistive technologies.
QCheckBox *toggle(const QString &title);

// The message of an empty section, centred in the secondary colour.
QLabel *emptyRow(const QString &message, QWidget *parent = nullptr);

// A borderless button with a symbol at the trailing edge of a section's footer.
QPushButton *footerButton(const QString &label, const QString &symbol, QWidget *parent = nullptr);

} // namespace SettingsForm

// A label in the secondary colour of whatever palette it is given, following theme changes.
class SecondaryLabel : public QLabel {
    Q_OBJECT
public:
    explicit SecondaryLabel(const QString &text = {}, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void follow();
};

// A flat button with a symbol of the icon table, redrawn in the text colour of every new
// palette, so it reads in dark and light themes alike.
class SymbolButton : public QPushButton {
    Q_OBJECT
public:
    SymbolButton(const QString &symbol, const QString &label, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    QString m_symbol;
};

// One line of text cut in the middle with an ellipsis when it does not fit; the whole text is
// its tooltip.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    void setFullText(const QString &text);
    const QString &fullText() const { return m_fullText; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();
    QString m_fullText;
};

// One section of a grouped form: an optional header line, a framed box of rows with lines
// between them, and an optional footer line under the box.
class FormSection : public QWidget {
    Q_OBJECT
public:
    explicit FormSection(const QString &title, QWidget *parent = nullptr);

    // Appends a row; rows hidden later leave no gap (their separator hides with them).
    void addRow(QWidget *row);
    // Removes and deletes every row.
    void clearRows();
    void setHeader(QWidget *header);
    void setFooter(QWidget *footer);
    QFrame *box() const { return m_box; }

private:
    QVBoxLayout *m_layout;
    QFrame *m_box;
    QVBoxLayout *m_rows;
};

// A tab's scrolling page of sections: nothing is cut off with a large font, it scrolls.
class FormPage : public QWidget {
    Q_OBJECT
public:
    explicit FormPage(QWidget *parent = nullptr);
    FormSection *addSection(const QString &title);
    QVBoxLayout *content() const { return m_content; }

private:
    QVBoxLayout *m_content;
};

// A centred icon and message, with an optional action button under them: what a list shows
// while it has nothing to list.
class PlaceholderView : public QWidget {
    Q_OBJECT
public:
    explicit PlaceholderView(QWidget *parent = nullptr);
    // An empty actionLabel shows no button; the action runs on every press.
    void setContent(const QString &symbol, const QString &message, const QString &actionLabel = {},
        std::function<void()> action = {});
    QString message() const;
    QPushButton *actionButton() const { return m_action; }

protected:
    void changeEvent(QEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_message;
    QPushButton *m_action;
    QString m_symbol;
    std::function<void()> m_onAction;
};

// What a tab over a store's list shows: a placeholder (while loading, on an error), the list in
// a section with its footer button, or a section saying the list is empty. The list is a
// QListView over a model, so a long list costs only its visible rows.
class ListPages : public QStackedWidget {
    Q_OBJECT
public:
    // The context menu of a row: its actions, parented to menuParent.
    using RowActions = std::function<QList<QAction *>(int row, QWidget *menuParent)>;

    // header (may be null) goes above the list and footer under it.
    ListPages(QAbstractItemModel *model, QAbstractItemDelegate *delegate,
        const QString &emptyMessage, QWidget *header, QPushButton *footer, RowActions rowActions,
        QWidget *parent = nullptr);

    PlaceholderView *placeholder() const { return m_placeholder; }
    QListView *list() const { return m_list; }
    void showPlaceholder() { setCurrentWidget(m_placeholder); }
    void showList() { setCurrentWidget(m_listPage); }
    void showEmpty() { setCurrentWidget(m_emptyPage); }

private:
    PlaceholderView *m_placeholder;
    QListView *m_list;
    QWidget *m_listPage;
    QWidget *m_emptyPage;
    RowActions m_rowActions;
};

} // namespace runel::gui
