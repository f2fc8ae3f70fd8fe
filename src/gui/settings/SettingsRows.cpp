#include "SettingsRows.h"

#include "SettingsForm.h"
#include "core/execution/SoundRule.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <cmath>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

// Every delay's slider covers the same range.
constexpr double minimumDelay = 0.3;
constexpr double maximumDelay = 3.0;

int tenths(double seconds)
{
    return int(std::lround(seconds * 10));
}

} // namespace

QCheckBox *addToggleRow(FormSection &section, const QString &title, const QString &description,
    const Setting<bool> &setting, SettingsContext &context)
{
    QCheckBox *box = SettingsForm::toggle(title);
    section.addRow(SettingsForm::labelledRow(title, description, box));
    const SettingBinding<bool> binding = bindSetting(context.config, setting, context.written);
    QObject::connect(box, &QCheckBox::clicked, box, binding.write);
    const auto refresh = [box, read = binding.read] { box->setChecked(read()); };
    QObject::connect(&context.config, setting.changed, box, refresh);
    QObject::connect(&context.config, &ConfigManager::valueNotStored, box, refresh);
    refresh();
    return box;
}

DelaySliderRow *addDelayRow(FormSection &section, const QString &title, const QString &description,
    const Setting<double> &setting, SettingsContext &context)
{
    auto *row = new DelaySliderRow(title, description,
        bindSetting(context.config, setting, context.written), minimumDelay, maximumDelay);
    section.addRow(row);
    followSetting(context.config, setting, row, &DelaySliderRow::refresh);
    return row;
}

SoundPickerRow *addSoundRow(FormSection &section, const QString &title, const QString &description,
    const Setting<QString> &setting, QString builtInSound, SettingsContext &context)
{
    auto *row = new SoundPickerRow(title, description,
        bindSetting(context.config, setting, context.written), std::move(builtInSound),
        context.services);
    section.addRow(row);
    followSetting(context.config, setting, row, &SoundPickerRow::refresh);
    return row;
}

DelaySliderRow::DelaySliderRow(const QString &title, const QString &description,
    SettingBinding<double> value, double minimum, double maximum, QWidget *parent)
    : QWidget(parent)
    , m_value(std::move(value))
    , m_slider(new QSlider(Qt::Horizontal))
    , m_valueLabel(new QLabel)
{
    m_slider->setRange(tenths(minimum), tenths(maximum));
    m_slider->setSingleStep(1);
    m_slider->setPageStep(5);
    auto *control = new QWidget;
    auto *line = new QHBoxLayout(control);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(m_slider, 1);
    line->addWidget(m_valueLabel);
    m_valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the widest value in any font, so the slider never jumps.
    m_valueLabel->setMinimumWidth(m_valueLabel->fontMetrics().horizontalAdvance(u"00.0s"_s));
    control->setMinimumWidth(m_valueLabel->fontMetrics().averageCharWidth() * 24);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(SettingsForm::labelledRow(title, description, control));
    // Every user action, also one that leaves the position where it was: a stored value outside
    // the range (the slider shows it at the nearest end) is replaced by the end the user chose.
    connect(
        m_slider, &QSlider::actionTriggered, this, [this] { moved(m_slider->sliderPosition()); });
    refresh();
}

void DelaySliderRow::refresh()
{
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(tenths(m_value.read()));
    m_valueLabel->setText(valueText());
}

QString DelaySliderRow::valueText() const
{
    return QString::asprintf("%.1fs", m_value.read());
}

void DelaySliderRow::moved(int tenthsValue)
{
    if (tenths(m_value.read()) == tenthsValue && m_value.read() == tenthsValue / 10.0)
        return;
    m_value.write(tenthsValue / 10.0);
    m_valueLabel->setText(valueText());
}

const QList<std::pair<QString, QString>> &SoundPickerRow::choices()
{
    static const QList<std::pair<QString, QString>> list {
        { u"None"_s, u"None"_s },
        { u"Default"_s, u"Default"_s },
        { u"bell"_s, u"Bell"_s },
        { u"complete"_s, u"Complete"_s },
        { u"message"_s, u"Message"_s },
        { u"message-new-instant"_s, u"New Message"_s },
        { u"dialog-information"_s, u"Information"_s },
        { u"dialog-warning"_s, u"Warning"_s },
        { u"dialog-error"_s, u"Error"_s },
        { u"window-attention"_s, u"Attention"_s },
        { u"window-question"_s, u"Question"_s },
        { u"alarm-clock-elapsed"_s, u"Alarm"_s },
        { u"phone-incoming-call"_s, u"Incoming Call"_s },
        { u"camera-shutter"_s, u"Camera Shutter"_s },
        { u"screen-capture"_s, u"Screen Capture"_s },
        { u"trash-empty"_s, u"Empty Trash"_s },
        { u"device-added"_s, u"Device Added"_s },
        { u"device-removed"_s, u"Device Removed"_s },
        { u"service-login"_s, u"Login"_s },
        { u"service-logout"_s, u"Logout"_s },
        { u"suspend-error"_s, u"Suspend Error"_s },
    };
    return list;
}

SoundPickerRow::SoundPickerRow(const QString &title, const QString &description,
    SettingBinding<QString> value, QString builtInSound, SystemServices &services, QWidget *parent)
    : QWidget(parent)
    , m_value(std::move(value))
    , m_builtInSound(std::move(builtInSound))
    , m_services(services)
    , m_picker(new QComboBox)
{
    for (const auto &[id, name] : choices())
        m_picker->addItem(name, id);
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(SettingsForm::labelledRow(title, description, m_picker));
    // activated: the user's choice only, not the refresh from the setting.
    connect(m_picker, &QComboBox::activated, this, &SoundPickerRow::picked);
    refresh();
}

void SoundPickerRow::refresh()
{
    // An empty setting plays nothing, as "None" does.
    const QString stored = m_value.read().isEmpty() ? u"None"_s : m_value.read();
    int index = m_picker->findData(stored);
    if (index < 0) {
        m_picker->addItem(stored, stored);
        index = m_picker->count() - 1;
    }
    const QSignalBlocker blocker(m_picker);
    m_picker->setCurrentIndex(index);
}

void SoundPickerRow::picked(int index)
{
    const QString sound = m_picker->itemData(index).toString();
    m_value.write(sound);
    playSoundForSetting(m_services, sound, m_builtInSound);
}

} // namespace runel::gui
