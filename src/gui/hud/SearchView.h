#pragma once

#include "core/hud/TitleLine.h"

#include <QWidget>

class QLabel;
class QStackedWidget;

namespace runel {
class SearchViewModel;
}

namespace runel::gui {

class AnimatedDivider;
class HudTextField;
class KeyBoxRow;
class KeyEventHandler;
class StatusIcon;

// The HUD: the title line with the status icon, the input row (key boxes with the key catcher
// behind them, or the text field for search, the list filter and the argument), and the
// divider. It only shows the view model's state and forwards keys to its operations: each part
// follows the signals of the fields it shows, and the key callbacks are installed once.
class SearchView : public QWidget {
    Q_OBJECT

public:
    // The view model must outlive the view.
    explicit SearchView(SearchViewModel &viewModel, QWidget *parent = nullptr);

    // For tests and the window controller: what is shown.
    QString titleText() const;
    KeyEventHandler *keyCatcher() const { return m_keyCatcher; }
    HudTextField *textField() const { return m_textField; }
    KeyBoxRow *keyBoxes() const { return m_keyBoxes; }
    StatusIcon *statusIcon() const { return m_statusIcon; }
    AnimatedDivider *divider() const { return m_divider; }

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // What the input row is for: typing keys, or the text field in one of its uses.
    enum class Input { keys, argument, list, search };
    Input input() const;
    void installCallbacks();
    // Up (-1) and Down (1) in the text field; Tab (1) and Shift-Tab (-1), false when unused.
    void arrow(int step);
    bool tab(int step);
    void applyPalette();
    void updateTitle();
    void updateStatus();
    void updateInput();
    void updateKeys();
    void updateFieldText();

    SearchViewModel &m_viewModel;
    TitleLine m_titleLine;
    QString m_fullTitle; // the title last shown, before eliding, and the width it was elided to
    int m_titleWidth = -1;
    QLabel *m_title;
    StatusIcon *m_statusIcon;
    QStackedWidget *m_input;
    KeyEventHandler *m_keyCatcher;
    KeyBoxRow *m_keyBoxes;
    HudTextField *m_textField;
    AnimatedDivider *m_divider;
};

} // namespace runel::gui
