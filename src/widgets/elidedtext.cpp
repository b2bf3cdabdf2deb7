#include "widgets/elidedtext.h"

QString WordElided(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString dots = QStringLiteral("...");
    auto fits = [&](qsizetype length) {
        return metrics.horizontalAdvance(text.left(length) + dots) <= width;
    };
    // Word by word from the end, the blanks before a cut word dropped too.
    for (qsizetype blank = text.lastIndexOf(QLatin1Char(' ')); blank > 0;
         blank = text.lastIndexOf(QLatin1Char(' '), blank - 1)) {
        qsizetype end = blank;
        while (end > 0 && text[end - 1] == QLatin1Char(' '))
            --end;
        if (end == 0)
            break;
        if (fits(end))
            return text.left(end) + dots;
        blank = end;
    }
    qsizetype length = text.size();
    while (length > 0 && !fits(length))
        --length;
    return text.left(length) + dots;
}
