#pragma once
// An off-screen surface standing in for a target painter: callers draw in
// the target's coordinates into a buffer covering a rectangle of it, and the
// buffer goes onto the target in one transfer when the surface is destroyed,
// so nothing half-drawn is ever seen.

#include <QImage>
#include <QPainter>
#include <QRect>

#include <memory>

class MemoryDC {
public:
    // Covers the target's clip box (its clip, else its whole device).
    explicit MemoryDC(QPainter& target);
    MemoryDC(QPainter& target, const QRect& rect);
    ~MemoryDC();
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    QPainter& Painter() { return *m_painter; }
    const QRect& Rect() const { return m_rect; }

    // The clip box of a painter, in its own coordinates.
    static QRect ClipBox(const QPainter& painter);

private:
    QPainter& m_target;
    QRect m_rect;
    QImage m_buffer;
    std::unique_ptr<QPainter> m_painter;
};
