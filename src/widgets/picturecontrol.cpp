#include "widgets/picturecontrol.h"

#include "graphics/dibimage.h"

#include <QPainter>

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Mid);
    // Every pixel is painted: no background erase before each paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureControl::Erase() {
    m_frame = QImage();
    update();
}

bool PictureControl::ShowImage(const DibImage& image) {
    // The frame goes into an image of the client size first (the control's
    // off-screen buffer), which the paint event puts on the screen whole.
    QImage frame(size(), QImage::Format_RGB32);
    frame.fill(palette().color(QPalette::Mid));
    bool drawn = false;
    {
        QPainter painter(&frame);
        drawn = image.Draw(&painter, rect()) != 0;
    }
    m_frame = drawn ? std::move(frame) : QImage();
    repaint();
    return drawn;
}

void PictureControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_frame.isNull() || m_frame.size() != size())
        painter.fillRect(rect(), palette().color(QPalette::Mid));
    if (!m_frame.isNull())
        painter.drawImage(0, 0, m_frame);
}
