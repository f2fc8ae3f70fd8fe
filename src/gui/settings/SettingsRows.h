#pragma once

#include "SettingsContext.h"
#include "core/settings/ConfigManager.h"

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

class DelaySliderRow;
class FormSection;
class SoundPickerRow;

// A setting as a row sees it: how to read it and how to write it. The row writes on every
// change the user makes and re-reads on refresh(), which runs when the setting changed elsewhere.
template<typename T> struct SettingBinding {
    std::function<T()> read;
    std::function<void(const T &)> write;
};

// An entry of the settings table on config; written runs after each write.
template<typename T>
SettingBinding<T> bindSetting(
    ConfigManager &config, const Setting<T> &setting, std::function<void()> written)
{
    return { [&config, &setting] { return config.value(setting); },
        [&config, &setting, written](const T &value) {
            config.assign(setting, value);
            if (written)
                written();
        } };
}

// Runs refresh on receiver whenever setting changes, and after any assignment that could not
// be saved: a control that already shows the new value shows the stored one again.
template<typename T, typename Receiver>
void followSetting(ConfigManager &config, const Setting<T> &setting, Receiver *receiver,
    void (Receiver::*refresh)())
{
    QObject::connect(&config, setting.changed, receiver, refresh);
    QObject::connect(&config, &ConfigManager::valueNotStored, receiver, refresh);
}

// The rows most settings are, each on its entry of the table: written through the context,
// following the setting from then on. The title also names the switch for assistive
// technologies.
QCheckBox *addToggleRow(FormSection &section, const QString &title, const QString &description,
    const Setting<bool> &setting, SettingsContext &context);
DelaySliderRow *addDelayRow(FormSection &section, const QString &title, const QString &description,
    const Setting<double> &setting, SettingsContext &context);
SoundPickerRow *addSoundRow(FormSection &section, const QString &title, const QString &description,
    const Setting<QString> &setting, QString builtInSound, SettingsContext &context);

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
