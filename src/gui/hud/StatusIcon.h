#pragma once

#include <QString>
#include <QVariantAnimation>
#include <QWidget>

namespace runel::gui {

// The symbol of the HUD's status in a 14-px frame: a symbol name, a spinner while a script
// runs, or nothing. Symbols fade in and out unless the desktop asks for reduced motion.
class StatusIcon : public QWidget {
    Q_OBJECT

public:
    enum class Kind { none, symbol, spinner };

    explicit StatusIcon(QWidget *parent = nullptr);

    // secondary draws the symbol in the secondary colour.
    void setStatus(Kind kind, const QString &symbol = {}, bool secondary = false);
    Kind kind() const { return m_kind; }
    const QString &symbol() const { return m_symbol; }

    QSize sizeHint() const override { return { 16, 16 }; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind = Kind::none;
    QString m_symbol;
    bool m_secondary = false;
    QVariantAnimation m_fade;
    QVariantAnimation m_spin;
};

} // namespace runel::gui
