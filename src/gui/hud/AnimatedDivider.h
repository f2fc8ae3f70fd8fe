#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace runel::gui {

// The line under the HUD's input row. While a script runs or has just finished, a highlight
// sweeps along it, back and forth once a second, unless the desktop asks for reduced motion.
class AnimatedDivider : public QWidget {
    Q_OBJECT

public:
    explicit AnimatedDivider(QWidget *parent = nullptr);

    void setShimmering(bool shimmering);
    bool isShimmering() const { return m_shimmer.state() == QAbstractAnimation::Running; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_wanted = false;
    QVariantAnimation m_shimmer; // the phase, 0 to 1
};

} // namespace runel::gui
