#include "SettingsWindow.h"

#include "AboutSettingsView.h"
#include "AdvancedSettingsView.h"
#include "GeneralSettingsView.h"
#include "LogView.h"
#include "ScriptHealthView.h"
#include "SettingsForm.h"
#include "ShortcutsView.h"
#include "core/settings/ConfigManager.h"

#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

struct TabInfo {
    const char16_t *title;
    const char16_t *symbol;
};

constexpr std::array<TabInfo, 6> tabInfo { {
    { u"General", u"gearshape" },
    { u"Shortcuts", u"command" },
    { u"Scripts", u"doc.plaintext" },
    { u"Log", u"scroll" },
    { u"Advanced", u"slider.horizontal.3" },
    { u"About", u"info.circle" },
} };

} // namespace

SettingsWindow::SettingsWindow(SettingsContext context, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_context(std::move(context))
    , m_problem(new QLabel(this))
    , m_tabs(new QTabWidget(this))
{
    setWindowTitle(u"Runel Settings"_s);
    m_context.written = [this] { showSaveResult(); };

    auto *layout = new QVBoxLayout(this);
    m_problem->setWordWrap(true);
    m_problem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_problem->setAutoFillBackground(true);
    m_problem->setMargin(8);
    m_problem->setFrameShape(QFrame::StyledPanel);
    m_problem->setBackgroundRole(QPalette::ToolTipBase);
    m_problem->setForegroundRole(QPalette::ToolTipText);
    m_problem->hide();
    layout->addWidget(m_problem);
    layout->addWidget(m_tabs);

    m_general = new GeneralSettingsView(m_context);
    m_shortcuts = new ShortcutsView(m_context);
    m_scripts = new ScriptHealthView(m_context);
    m_log = new LogView(m_context);
    m_advanced = new AdvancedSettingsView(m_context);
    m_about = new AboutSettingsView;
    const std::array<QWidget *, 6> pages { m_general, m_shortcuts, m_scripts, m_log, m_advanced,
        m_about };
    for (size_t i = 0; i < pages.size(); ++i)
        m_tabs->addTab(pages[i], QString::fromUtf16(tabInfo[i].title));
    m_tabs->setDocumentMode(true);
    m_tabs->tabBar()->setExpanding(false);
    updateTabIcons();

    auto *close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    // The file turning unreadable while the app runs, and readable again, shows at once.
    connect(&m_context.config, &ConfigManager::storeErrorChanged, this,
        &SettingsWindow::showSaveResult);

    // A settings file that could not be read at start-up is said here too.
    const QString warning = m_context.config.store().loadWarning();
    if (!warning.isEmpty()) {
        m_problem->setText(warning);
        m_problem->show();
    }

    const QSize preferred = preferredSize(font());
    // Every tab title in full, whatever the font.
    const int tabsWidth
        = m_tabs->tabBar()->sizeHint().width() + 2 * layout->contentsMargins().left();
    resize(std::max(preferred.width(), tabsWidth), preferred.height());
}

QSize SettingsWindow::preferredSize(const QFont &font)
{
    const double scale = std::max(1.0, QFontInfo(font).pixelSize() / 13.0);
    return { int(520 * scale), int(440 * scale) };
}

void SettingsWindow::present()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void SettingsWindow::setCurrentTab(SettingsTab tab)
{
    m_tabs->setCurrentIndex(int(tab));
}

QString SettingsWindow::problem() const
{
    return m_problem->isHidden() ? QString() : m_problem->text();
}

void SettingsWindow::showSaveResult()
{
    const QString error = m_context.config.store().lastError();
    m_problem->setText(error);
    m_problem->setVisible(!error.isEmpty());
}

void SettingsWindow::updateTabIcons()
{
    for (size_t i = 0; i < tabInfo.size(); ++i)
        m_tabs->setTabIcon(
            int(i), SettingsForm::symbolIcon(QString::fromUtf16(tabInfo[i].symbol), palette()));
}

void SettingsWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        updateTabIcons();
    QWidget::changeEvent(event);
}

} // namespace runel::gui
