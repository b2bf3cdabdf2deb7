#include "graphics/memorydc.h"

QRect MemoryDC::ClipBox(const QPainter& painter) {
    if (painter.hasClipping())
        return painter.clipBoundingRect().toAlignedRect();
    if (painter.device() == nullptr)
        return {};
    const QRect device(0, 0, painter.device()->width(), painter.device()->height());
    return painter.worldTransform().inverted().mapRect(device);
}

MemoryDC::MemoryDC(QPainter& target) : MemoryDC(target, ClipBox(target)) {}

MemoryDC::MemoryDC(QPainter& target, const QRect& rect)
    : m_target(target), m_rect(rect),
      m_buffer(std::max(rect.width(), 1), std::max(rect.height(), 1), QImage::Format_RGB32) {
    m_painter = std::make_unique<QPainter>(&m_buffer);
    // The buffer's origin is the rectangle's top-left corner.
    m_painter->translate(-rect.topLeft());
}

MemoryDC::~MemoryDC() {
    m_painter->end();
    if (!m_rect.isEmpty())
        m_target.drawImage(m_rect.topLeft(), m_buffer);
}
