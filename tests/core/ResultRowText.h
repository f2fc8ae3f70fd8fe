#pragma once

#include "core/hud/ResultRows.h"

#include <QString>

// What a result row shows, written on one line so that a test compares whole rows at once:
// "icon | title title-highlight | subtitle subtitle-highlight | hint | stem", with "-" for an
// absent part and highlights as "offset+count".
namespace runel::test {

inline QString span(qint64 offset, qint64 count)
{
    return count == 0 ? QStringLiteral("-") : QStringLiteral("%1+%2").arg(offset).arg(count);
}

inline QString describe(const ResultDisplayItem &item)
{
    return QStringLiteral("%1 | %2 %3 | %4 %5 | %6 | %7")
        .arg(item.icon, item.title, span(item.titleHighlightOffset, item.titleHighlightCount),
            item.subtitle.value_or(QStringLiteral("-")),
            span(item.subtitleHighlightOffset, item.subtitleHighlightCount),
            item.keyHint.value_or(QStringLiteral("-")), QString::number(item.subtitleStemCount));
}

} // namespace runel::test
