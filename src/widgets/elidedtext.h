#pragma once
// Text cut to the room a control gives it.

#include <QFontMetrics>
#include <QString>

// text as a static text with word ellipsis shows it in width pixels: whole
// when it fits, else up to the last whole word that leaves room for "...",
// followed by "..."; a first word too long for the room is cut where it must
// be.
QString WordElided(const QString& text, const QFontMetrics& metrics, int width);
