#include "HotKeyNames.h"

using namespace Qt::StringLiterals;

namespace runel::gui {

const KeyboardShortcuts::Name HotKeyNames::toggleSearchWindow { u"toggleSearchWindow"_s,
    KeyboardShortcuts::Shortcut { 37,
        KeyboardShortcuts::CarbonModifier::command | KeyboardShortcuts::CarbonModifier::shift } };
const KeyboardShortcuts::Name HotKeyNames::toggleSearchMode { u"toggleSearchMode"_s, {} };

KeyboardShortcuts::Name HotKeyNames::nameFor(const QUuid &id)
{
    return { u"shortcut-"_s + id.toString(QUuid::WithoutBraces).toUpper(), {} };
}

const AppShortcut *HotKeyNames::userShortcut(
    const QString &name, const std::vector<AppShortcut> &shortcuts)
{
    for (const AppShortcut &shortcut : shortcuts) {
        if (nameFor(shortcut.id).rawValue == name)
            return &shortcut;
    }
    return nullptr;
}

QString HotKeyNames::titleFor(const QString &name, const std::vector<AppShortcut> &shortcuts)
{
    if (name == toggleSearchWindow.rawValue)
        return tr("Show or hide the HUD");
    if (name == toggleSearchMode.rawValue)
        return tr("Open the HUD in search mode");
    if (const AppShortcut *shortcut = userShortcut(name, shortcuts)) {
        return shortcut->keySequence.isEmpty()
            ? tr("Open the HUD")
            : tr("Run \u201c%1\u201d").arg(shortcut->keySequence);
    }
    return name;
}

} // namespace runel::gui
