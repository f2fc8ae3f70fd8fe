#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace runel {

class SearchViewModel;

// Whether a line looks like the start of JSON: its first character is a double quote or "{",
// or it starts with "[" followed by "{" or a double quote. Such lines are a list being printed
// and are never shown as the HUD's title.
bool looksLikeJson(QStringView line);

// The HUD title for the view model's mode: how to stop a foreground run while one goes on, the
// search title in search mode, else the sequence title of the typed keys.
QString hudTitle(const SearchViewModel &viewModel);

// The title line of one HUD: the latest output line unless it looks like JSON, else the
// refresh message, else the HUD title. While a run prints JSON-looking lines, the output line
// shown before them stays, so the title does not flicker back to the HUD title when a script
// starts printing its list. One per HUD view.
class TitleLine {
public:
    QString text(const std::optional<QString> &latestOutput,
        const std::optional<QString> &refreshMessage, const QString &hudTitle);
    QString text(const SearchViewModel &viewModel);

private:
    std::optional<QString> m_shownOutput; // the last output line shown
};

} // namespace runel
