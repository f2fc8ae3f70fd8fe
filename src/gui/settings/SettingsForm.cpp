#include "SettingsForm.h"

#include "gui/style/HudIcons.h"
#include "gui/style/HudStyle.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace SettingsForm {

QColor secondaryColor(const QPalette &palette)
{
    return HudStyle::secondary(palette);
}

QColor quaternaryColor(const QPalette &palette)
{
    return HudStyle::tint(palette, 0.1);
}

QIcon symbolIcon(const QString &symbol, const QPalette &palette, int size)
{
    QIcon icon;
    for (const qreal ratio : { 1.0, 2.0 })
        icon.addPixmap(HudIcons::pixmap(symbol, size, ratio, palette.color(QPalette::WindowText),
            palette.color(QPalette::Window)));
    return icon;
}

QColor dotColor(DotColor color, const QPalette &palette)
{
    switch (color) {
    case DotColor::green:
        return QColor(0x34, 0xc7, 0x59);
    case DotColor::yellow:
        return QColor(0xf5, 0xc2, 0x11);
    case DotColor::red:
        return QColor(0xff, 0x3b, 0x30);
    case DotColor::blue:
        return QColor(0x0a, 0x84, 0xff);
    case DotColor::gray:
        break;
    }
    return secondaryColor(palette);
}

void paintStatusDot(QPainter &painter, const QRect &rect, const QColor &color)
{
    constexpr int size = 8;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(
        rect.center().x() - size / 2.0 + 0.5, rect.center().y() - size / 2.0 + 0.5, size, size));
    painter.restore();
}

QFont relativeFont(const QFont &body, double points, QFont::Weight weight)
{
    QFont font = body;
    font.setPointSizeF(body.pointSizeF() * points / 13.0);
    font.setWeight(weight);
    return font;
}

QLabel *descriptionLabel(const QString &text, QWidget *parent)
{
    auto *label = new SecondaryLabel(text, parent);
    // 11 of the 13 points of a body text, whatever size the desktop's font is.
    label->setFont(relativeFont(label->font(), 11));
    label->setWordWrap(true);
    return label;
}

QWidget *labelledRow(
    const QString &title, const QString &description, QWidget *control, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    auto *titleLabel = new QLabel(title, row);
    titleLabel->setWordWrap(true);
    text->addWidget(titleLabel);
    if (!description.isEmpty())
        text->addWidget(descriptionLabel(description, row));
    layout->addLayout(text, 1);
    if (control) {
        control->setParent(row);
        layout->addWidget(control, 0, Qt::AlignVCenter);
        titleLabel->setBuddy(control);
    }
    return row;
}

QCheckBox *toggle(const QString &title)
{
    auto *box = new QCheckBox;
    box->setAccessibleName(title);
    return box;
}

QLabel *emptyRow(const QString &message, QWidget *parent)
{
    auto *label = new SecondaryLabel(message, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setContentsMargins(0, 4, 0, 4);
    return label;
}

QPushButton *footerButton(const QString &label, const QString &symbol, QWidget *parent)
{
    auto *button = new SymbolButton(symbol, label, parent);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace SettingsForm

SecondaryLabel::SecondaryLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    follow();
}

void SecondaryLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        follow();
}

void SecondaryLabel::follow()
{
    // The text colour comes from the parent (or the application), never from this label's
    // own palette: that one holds the previous theme's secondary colour.
    const QPalette source = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    const QColor wanted = SettingsForm::secondaryColor(source);
    if (palette().color(QPalette::WindowText) == wanted)
        return;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, wanted);
    setPalette(own);
}

SymbolButton::SymbolButton(const QString &symbol, const QString &label, QWidget *parent)
    : QPushButton(label, parent)
    , m_symbol(symbol)
{
    setFlat(true);
    setIcon(SettingsForm::symbolIcon(m_symbol, palette()));
}

void SymbolButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        setIcon(SettingsForm::symbolIcon(m_symbol, palette()));
    QPushButton::changeEvent(event);
}

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void ElidedLabel::setFullText(const QString &text)
{
    m_fullText = text;
    setToolTip(text);
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return { fontMetrics().horizontalAdvance(u"M\u2026M"_s), QLabel::minimumSizeHint().height() };
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, width()));
}

FormSection::FormSection(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
    , m_box(new QFrame(this))
    , m_rows(new QVBoxLayout(m_box))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(4);
    if (!title.isEmpty()) {
        auto *header = new QLabel(title, this);
        QFont font = header->font();
        font.setBold(true);
        header->setFont(font);
        m_layout->addWidget(header);
    }
    m_box->setFrameShape(QFrame::StyledPanel);
    m_box->setAutoFillBackground(true);
    m_box->setBackgroundRole(QPalette::Base);
    m_rows->setSpacing(8);
    m_layout->addWidget(m_box);
}

void FormSection::addRow(QWidget *row)
{
    row->setParent(m_box);
    m_rows->addWidget(row);
}

void FormSection::clearRows()
{
    // Later, not now: a row's own button may be what asked for the change.
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        if (QWidget *row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
}

void FormSection::setHeader(QWidget *header)
{
    header->setParent(this);
    m_layout->insertWidget(0, header);
}

void FormSection::setFooter(QWidget *footer)
{
    auto *line = new QHBoxLayout;
    line->addStretch(1);
    footer->setParent(this);
    line->addWidget(footer);
    m_layout->addLayout(line);
}

FormPage::FormPage(QWidget *parent)
    : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *inner = new QWidget(scroll);
    m_content = new QVBoxLayout(inner);
    m_content->setSpacing(16);
    m_content->addStretch(1);
    scroll->setWidget(inner);
    outer->addWidget(scroll);
}

FormSection *FormPage::addSection(const QString &title)
{
    auto *section = new FormSection(title, this);
    m_content->insertWidget(m_content->count() - 1, section);
    return section;
}

PlaceholderView::PlaceholderView(QWidget *parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_message(new SecondaryLabel({}, this))
    , m_action(new QPushButton(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    m_icon->setAlignment(Qt::AlignCenter);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    layout->addWidget(m_icon);
    layout->addWidget(m_message);
    layout->addWidget(m_action, 0, Qt::AlignCenter);
    layout->addStretch(1);
    m_action->hide();
    connect(m_action, &QPushButton::clicked, this, [this] {
        if (m_onAction)
            m_onAction();
    });
}

void PlaceholderView::setContent(const QString &symbol, const QString &message,
    const QString &actionLabel, std::function<void()> action)
{
    m_symbol = symbol;
    m_message->setText(message);
    m_action->setText(actionLabel);
    m_action->setVisible(!actionLabel.isEmpty());
    m_onAction = std::move(action);
    m_icon->setPixmap(SettingsForm::symbolIcon(symbol, palette(), 32).pixmap(32));
}

QString PlaceholderView::message() const
{
    return m_message->text();
}

void PlaceholderView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange && !m_symbol.isEmpty())
        m_icon->setPixmap(SettingsForm::symbolIcon(m_symbol, palette(), 32).pixmap(32));
    QWidget::changeEvent(event);
}

ListPages::ListPages(QAbstractItemModel *model, QAbstractItemDelegate *delegate,
    const QString &emptyMessage, QWidget *header, QPushButton *footer, RowActions rowActions,
    QWidget *parent)
    : QStackedWidget(parent)
    , m_placeholder(new PlaceholderView)
    , m_list(new QListView)
    , m_listPage(new QWidget)
    , m_emptyPage(new QWidget)
    , m_rowActions(std::move(rowActions))
{
    m_list->setModel(model);
    delegate->setParent(m_list);
    m_list->setItemDelegate(delegate);
    // Every row has the same height: the view never measures thousands of rows.
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QListView::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = m_list->indexAt(at);
        if (!index.isValid())
            return;
        QMenu menu(this);
        menu.addActions(m_rowActions(index.row(), &menu));
        menu.exec(m_list->viewport()->mapToGlobal(at));
    });

    auto *listLayout = new QVBoxLayout(m_listPage);
    auto *section = new FormSection({});
    if (header)
        section->setHeader(header);
    section->addRow(m_list);
    section->setFooter(footer);
    listLayout->addWidget(section);

    auto *emptyLayout = new QVBoxLayout(m_emptyPage);
    auto *emptySection = new FormSection({});
    emptySection->addRow(SettingsForm::emptyRow(emptyMessage));
    emptyLayout->addWidget(emptySection);
    emptyLayout->addStretch(1);

    addWidget(m_placeholder);
    addWidget(m_listPage);
    addWidget(m_emptyPage);
}

} // namespace runel::gui
