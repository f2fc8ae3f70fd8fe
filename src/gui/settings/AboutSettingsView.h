#pragma once

#include <QWidget>

class QLabel;

namespace runel::gui {

// The About tab: the app's symbol, name, tag line and version.
class AboutSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit AboutSettingsView(QWidget *parent = nullptr);

    // "Version <version> (<build>)", from what the build recorded; "Unknown" for a value the
    // build did not record.
    static QString versionText();

protected:
    void changeEvent(QEvent *event) override;

private:
    QLabel *m_symbol;
};

} // namespace runel::gui
