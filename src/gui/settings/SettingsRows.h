#pragma once

#include <QComboBox>
#include <QSlider>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;

namespace runel {
class SystemServices;
}

namespace runel::gui {

// A setting as a row sees it: how to read it and how to write it. The row writes on every
// change the user makes and re-reads on refresh(), which its view calls when the setting
// changed elsewhere.
template<typename T> struct SettingBinding {
    std::function<T()> read;
    std::function<void(const T &)> write;
};

// A binding to a property of object through its getter and setter; written runs after each write.
template<typename T, typename Object, typename Getter, typename Setter>
SettingBinding<T> bindSetting(
    Object &object, Getter getter, Setter setter, std::function<void()> written)
{
    return { [&object, getter] { return T((object.*getter)()); },
        [&object, setter, written](const T &value) {
            (object.*setter)(value);
            if (written)
                written();
        } };
}

// A check box that writes setting at each click; its view sets it from the setting on refresh.
void bindToggle(QCheckBox &box, SettingBinding<bool> setting);

// A delay in seconds on a slider in steps of 0.1 over a range, with the value as "%.1fs".
class DelaySliderRow : public QWidget {
    Q_OBJECT
public:
    DelaySliderRow(const QString &title, const QString &description, SettingBinding<double> value,
        double minimum, double maximum, QWidget *parent = nullptr);

    void refresh();
    QSlider *slider() const { return m_slider; }
    QString valueText() const;

private:
    void moved(int tenths);

    SettingBinding<double> m_value;
    QSlider *m_slider;
    QLabel *m_valueLabel;
};

// A sound of the desktop's sound theme, "None" or "Default", picked from a menu and played
// once when picked. Values are sound-theme event ids; a stored id the menu does not list is
// kept and shown as written.
class SoundPickerRow : public QWidget {
    Q_OBJECT
public:
    // builtInSound is what "Default" plays for this row.
    SoundPickerRow(const QString &title, const QString &description, SettingBinding<QString> value,
        QString builtInSound, SystemServices &services, QWidget *parent = nullptr);

    void refresh();
    QComboBox *picker() const { return m_picker; }

    // The menu: (value, readable name), "None" and "Default" first.
    static const QList<std::pair<QString, QString>> &choices();

private:
    void picked(int index);

    SettingBinding<QString> m_value;
    QString m_builtInSound;
    SystemServices &m_services;
    QComboBox *m_picker;
};

} // namespace runel::gui
