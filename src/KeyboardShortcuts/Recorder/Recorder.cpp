#include "Recorder.h"

#include "KeyboardShortcuts/KeyTable.h"
#include "KeyboardShortcuts/Service.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

namespace runel::KeyboardShortcuts {

namespace {

QString recordPlaceholder()
{
    return Recorder::tr("Record Shortcut");
}

QString pressPlaceholder()
{
    return Recorder::tr("Press Shortcut");
}

QString takenMessage(const Shortcut &shortcut)
{
    return Recorder::tr("%1 is taken by another program. Choose another, or free it there.")
        .arg(shortcut.description());
}

// The modifier a modifier key itself adds: its own press may not carry it yet.
int carbonModifierOfKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return CarbonModifier::shift;
    case Qt::Key_Control:
        return CarbonModifier::control;
    case Qt::Key_Alt:
        return CarbonModifier::option;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return CarbonModifier::command;
    default:
        return 0;
    }
}

bool isModifierKey(int key)
{
    return carbonModifierOfKey(key) != 0 || key == Qt::Key_AltGr || key == Qt::Key_CapsLock
        || key == Qt::Key_NumLock || key == Qt::Key_Hyper_L || key == Qt::Key_Hyper_R;
}

} // namespace

Recorder::Recorder(Service &service, Name name, QWidget *parent)
    : QWidget(parent)
    , m_service(service)
    , m_name(std::move(name))
    , m_field(new QLineEdit(this))
    , m_message(new QLabel(this))
    , m_titles([](const QString &rawValue) { return rawValue; })
{
    m_field->setReadOnly(true);
    m_field->setAlignment(Qt::AlignCenter);
    m_field->setContextMenuPolicy(Qt::NoContextMenu);
    m_field->setCursor(Qt::PointingHandCursor);
    m_field->setFocusPolicy(Qt::StrongFocus);
    m_field->setMinimumWidth(
        m_field->fontMetrics().horizontalAdvance(QStringLiteral("Super+Ctrl+Alt+Shift+Page Down"))
        + 4 * m_field->fontMetrics().height());
    m_field->installEventFilter(this);
    m_field->setAccessibleName(tr("Shortcut"));
    setFocusProxy(m_field);

    const QIcon clearIcon = QIcon::fromTheme(QStringLiteral("edit-clear"),
        style()->standardIcon(QStyle::SP_LineEditClearButton, nullptr, m_field));
    m_clearAction = m_field->addAction(clearIcon, QLineEdit::TrailingPosition);
    m_clearAction->setToolTip(tr("Clear Shortcut"));
    connect(m_clearAction, &QAction::triggered, this, &Recorder::clear);
    const QIcon takenIcon = QIcon::fromTheme(QStringLiteral("dialog-warning"),
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, m_field));
    m_takenAction = m_field->addAction(takenIcon, QLineEdit::LeadingPosition);
    m_takenAction->setVisible(false);

    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    QFont small = m_message->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_message->setFont(small);
    m_message->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_field);
    layout->addWidget(m_message);

    connect(&m_service, &Service::shortcutByNameDidChange, this, [this](const QString &changed) {
        if (changed == m_name.rawValue)
            refresh();
    });
    connect(&m_service.backend(), &HotKeyBackend::stateChanged, this, &Recorder::refresh);
    refresh();
}

Recorder::~Recorder()
{
    // The service must not stay suspended because a settings window closed mid-recording.
    stopRecording();
}

void Recorder::setReservedShortcuts(std::vector<ReservedShortcut> shortcuts)
{
    m_reserved = std::move(shortcuts);
}

void Recorder::setNameTitles(std::function<QString(const QString &)> titles)
{
    m_titles = std::move(titles);
}

QString Recorder::text() const
{
    return m_field->text();
}

QString Recorder::message() const
{
    return m_message->text();
}

bool Recorder::recordsItself() const
{
    return m_service.backend().desktopTriggers() != nullptr;
}

void Recorder::startRecording()
{
    if (recordsItself()) {
        // The desktop decides the trigger and has its own dialog for it.
        m_service.backend().desktopTriggers()->configureTriggers();
        return;
    }
    if (m_recording)
        return;
    m_recording = true;
    m_modifiers = 0;
    showMessage({});
    m_field->setFocus(Qt::OtherFocusReason);
    // The window manager's own keys (Super+...) must reach the control while it records.
    m_field->grabKeyboard();
    m_service.setSuspended(true);
    refresh();
}

void Recorder::stopRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    m_field->releaseKeyboard();
    m_service.setSuspended(false);
    refresh();
}

bool Recorder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // While recording every key is the control's, including the app's own shortcuts.
        if (!m_recording)
            return false;
        event->accept();
        return true;
    case QEvent::KeyPress: {
        const auto &key = *static_cast<QKeyEvent *>(event);
        if (m_recording) {
            handleKeyPress(key);
            return true;
        }
        if (key.modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (key.key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            startRecording();
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            if (!recordsItself())
                clear();
            return true;
        default:
            return false;
        }
    }
    case QEvent::KeyRelease:
        if (!m_recording)
            return false;
        handleKeyRelease(*static_cast<QKeyEvent *>(event));
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return true;
        if (m_recording)
            stopRecording();
        else
            startRecording();
        return true;
    case QEvent::MouseMove:
        return true; // no text selection
    case QEvent::FocusOut:
        stopRecording();
        return false;
    case QEvent::Hide:
        stopRecording();
        return false;
    default:
        return false;
    }
}

void Recorder::handleKeyPress(const QKeyEvent &event)
{
    const int key = event.key();
    if (key == Qt::Key_Escape) {
        showMessage({});
        stopRecording();
        return;
    }
    if (isModifierKey(key)) {
        m_modifiers = carbonModifiersFromQt(event.modifiers()) | carbonModifierOfKey(key);
        refresh();
        return;
    }
    const std::optional<Shortcut> shortcut = Shortcut::fromQt(key, event.modifiers());
    if (!shortcut) {
        refuse(tr("That key cannot be used in a shortcut."), true);
        return;
    }
    const int commanding
        = CarbonModifier::command | CarbonModifier::control | CarbonModifier::option;
    if (!(shortcut->carbonModifiers & commanding)
        && !KeyTable::isFunctionKey(shortcut->carbonKeyCode)) {
        refuse(tr("Add Ctrl, Alt or Super: only F1 to F35 work alone."), true);
        return;
    }
    for (const ReservedShortcut &reserved : m_reserved) {
        if (reserved.shortcut == *shortcut) {
            refuse(tr("%1 is Runel's own key for %2. Choose another.")
                       .arg(shortcut->description(), reserved.title),
                false);
            return;
        }
    }
    if (m_service.backend().isHeldElsewhere(*shortcut)) {
        refuse(takenMessage(*shortcut), false);
        return;
    }
    accept(*shortcut);
}

void Recorder::handleKeyRelease(const QKeyEvent &event)
{
    if (!isModifierKey(event.key()))
        return;
    m_modifiers = carbonModifiersFromQt(event.modifiers()) & ~carbonModifierOfKey(event.key());
    refresh();
}

void Recorder::accept(const Shortcut &shortcut)
{
    QStringList others = m_service.namesBoundTo(shortcut);
    others.removeAll(m_name.rawValue);
    stopRecording();
    if (!m_service.setShortcut(shortcut, m_name)) {
        showMessage(tr("%1 could not be saved: the settings file cannot be written.")
                        .arg(shortcut.description()));
        return;
    }
    QStringList titles;
    for (const QString &other : std::as_const(others))
        titles.append(m_titles(other));
    showMessage(titles.isEmpty()
            ? QString()
            : tr("Also the shortcut of %1: pressing it runs both.").arg(titles.join(tr(", "))));
}

void Recorder::refuse(const QString &message, bool beep)
{
    if (beep)
        QApplication::beep();
    m_modifiers = 0;
    showMessage(message);
    refresh();
}

void Recorder::showMessage(const QString &message)
{
    m_notice = message;
    updateMessage();
}

void Recorder::updateMessage()
{
    // The stored combination being taken outlasts any note: it is why the key does nothing.
    const std::optional<Shortcut> stored = m_service.getShortcut(m_name);
    const bool taken = !m_recording && !recordsItself() && m_service.isHeldElsewhere(m_name);
    m_takenAction->setVisible(taken);
    m_takenAction->setToolTip(taken ? takenMessage(*stored) : QString());
    QString text = m_notice;
    if (taken && text.isEmpty())
        text = takenMessage(*stored);
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void Recorder::clear()
{
    stopRecording();
    showMessage({});
    if (!m_service.setShortcut(std::nullopt, m_name))
        showMessage(tr("The shortcut could not be cleared: the settings file cannot be written."));
}

void Recorder::refresh()
{
    // The prompts are text, not the line edit's placeholder: a centred line edit hides its
    // placeholder while it has the focus, which is exactly when "Press Shortcut" must show.
    QString shown;
    QString prompt;
    if (m_recording) {
        const QString modifiers = describeModifiers(m_modifiers);
        shown = modifiers.isEmpty() ? QString() : modifiers + QStringLiteral("+…");
        prompt = pressPlaceholder();
    } else {
        shown = m_service.displayText(m_name);
        prompt = recordPlaceholder();
    }
    QPalette palette = this->palette();
    if (shown.isEmpty())
        palette.setColor(QPalette::Text, palette.color(QPalette::PlaceholderText));
    m_field->setPalette(palette);
    m_field->setText(shown.isEmpty() ? prompt : shown);
    m_clearAction->setVisible(
        !m_recording && !recordsItself() && m_service.getShortcut(m_name).has_value());
    updateMessage();
}

void Recorder::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

} // namespace runel::KeyboardShortcuts
