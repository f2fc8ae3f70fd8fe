#pragma once

#include <QStringList>
#include <QWidget>

namespace runel::gui {

// The typed keys as boxes, followed by the placeholder box that waits for the next key. When
// the boxes are wider than the row, the oldest keys scroll out on the left.
class KeyBoxRow : public QWidget {
    Q_OBJECT

public:
    explicit KeyBoxRow(QWidget *parent = nullptr);

    void setKeys(const QStringList &keys);
    const QStringList &keys() const { return m_keys; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList m_keys;
};

} // namespace runel::gui
