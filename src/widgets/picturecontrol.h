#pragma once
// The picture area of the main window: a grey rectangle into which a frame
// is drawn stretched over the whole client area. Qt paints only in paint
// events, so the control keeps the last frame drawn and paints it from
// there; erasing drops it and shows the grey rectangle again.

#include <QImage>
#include <QWidget>

class DibImage;

class PictureControl : public QWidget {
    Q_OBJECT

public:
    explicit PictureControl(QWidget* parent = nullptr);

    // Wipes the frame; the grey shows at the next paint. (Not at once: a
    // forced repaint also paints whatever else is waiting, such as a list of
    // a million rows, and the panel erases often.)
    void Erase();
    // Draws the image stretched over the client area and shows it at once;
    // false (and a grey area) when there was nothing to draw.
    bool ShowImage(const DibImage& image);

    // What the control shows besides its grey: the last frame drawn, or a
    // null image.
    const QImage& Frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_frame;
};
