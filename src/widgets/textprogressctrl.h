#pragma once
// A progress bar that paints itself: a background, a bar whose colour runs
// through a gradient over the full length (so a pixel's colour depends on
// its place, not on the position), and a right-aligned text that changes
// colour where the bar ends. It paints off-screen and puts the picture on
// the screen in one transfer, so it never flickers.

#include <QColor>
#include <QWidget>

#include <string>
#include <vector>

class TextProgressCtrl : public QWidget {
    Q_OBJECT

public:
    // The text shows when both of these style bits are set.
    static constexpr unsigned kTextBits = 0x0300;

    // Colours and inner margins; the owner sets them after creating the
    // control. They start as the desktop's colours and no margins.
    QColor background;
    std::vector<QColor> barColours;
    QColor textOverBar;
    QColor textOverBackground;
    int marginLeft = 0;
    int marginTop = 0;
    int marginRight = 0;
    int marginBottom = 0;

    explicit TextProgressCtrl(QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    void SetPos(int position);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    int Pos() const { return m_position; }
    // Sets the text and its style bits; no text or bits 0 hide it.
    void SetText(const std::string& text, unsigned bits);
    const std::string& Text() const { return m_text; }
    unsigned TextBits() const { return m_textBits; }

    // The bar area inside the margins, and the filled part of it.
    QRect BarArea() const;
    QRect FilledBar() const;

    // Paints everything into a painter over the client area.
    void Paint(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
    std::string m_text;
    unsigned m_textBits = 0;
};
