#include "widgets/textprogressctrl.h"

#include "graphics/gradient.h"
#include "graphics/memorydc.h"
#include "platform/qtext.h"

#include <QPaintEvent>
#include <QPainter>

TextProgressCtrl::TextProgressCtrl(QWidget* parent) : QWidget(parent) {
    const QPalette colours = palette();
    background = colours.color(QPalette::Button);
    barColours = {colours.color(QPalette::Highlight), colours.color(QPalette::Highlight)};
    textOverBar = colours.color(QPalette::HighlightedText);
    textOverBackground = colours.color(QPalette::ButtonText);
    // The painting covers every pixel: nothing is erased before it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TextProgressCtrl::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    update();
}

void TextProgressCtrl::SetPos(int position) {
    m_position = position;
    update();
}

void TextProgressCtrl::SetText(const std::string& text, unsigned bits) {
    m_text = text;
    m_textBits = text.empty() || bits == 0 ? 0 : bits & kTextBits;
    update();
}

QRect TextProgressCtrl::BarArea() const {
    const QRect client = rect();
    return {client.left() + marginLeft, client.top() + marginTop,
            client.width() - marginLeft - marginRight, client.height() - marginTop - marginBottom};
}

QRect TextProgressCtrl::FilledBar() const {
    const QRect area = BarArea();
    int filled = 0;
    if (m_upper != m_lower)
        filled = static_cast<int>(static_cast<double>(area.width()) * (m_position - m_lower) /
                                  (m_upper - m_lower));
    return {area.left(), area.top(), std::max(filled, 0), area.height()};
}

void TextProgressCtrl::Paint(QPainter& painter) const {
    painter.fillRect(rect(), background);
    if (m_position < m_lower || m_position > m_upper)
        return; // outside the range: the background only, without text
    const QRect area = BarArea();
    const QRect bar = FilledBar();
    PaintBands(painter, area, GradientBands(area, bar.width(), barColours));

    if ((m_textBits & kTextBits) != kTextBits || m_text.empty())
        return;
    painter.save();
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const QString text = ToQt(m_text);
    // The text's bottom-right corner: against the area's right edge, the
    // text centred in the area's height.
    const int right = area.left() + area.width();
    const int bottom = area.top() + (area.height() + metrics.height()) / 2;
    const QPoint baseline(right - metrics.horizontalAdvance(text), bottom - metrics.descent());
    auto drawClipped = [&](const QRect& clip, const QColor& colour) {
        painter.setClipRect(clip);
        painter.setPen(colour);
        painter.drawText(baseline, text);
    };
    if (textOverBar == textOverBackground) {
        drawClipped(area, textOverBar);
    } else {
        if (bar.width() > 0)
            drawClipped(bar, textOverBar);
        if (bar.width() < area.width())
            drawClipped(QRect(bar.left() + bar.width(), area.top(), area.width() - bar.width(),
                              area.height()),
                        textOverBackground);
    }
    painter.restore();
}

void TextProgressCtrl::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    MemoryDC buffer(painter, event->rect());
    Paint(buffer.Painter());
}
