#pragma once
// The drive information window: one row per mounted volume, a bar showing
// how full it is on a scale common to all volumes, and a line with its
// root, name, total and used size. A snapshot, taken when it opens.

#include "app/services.h"
#include "widgets/templatedialog.h"

#include <QColor>
#include <QRect>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class TextProgressCtrl;

struct DriveRow {
    std::string label;   // the row's line of text
    std::string barText; // the free space, on the bar
    QRect bar;
    QRect labelRect;
    int rangeMaximum = 0; // the total on the common scale
    int position = 0;     // the used space on the common scale
    QColor background;
};

struct DriveLayout {
    std::vector<DriveRow> rows;
    int scaledWidth = 0; // of the largest volume, at most 300
    int shift = 0;       // the common scale: bytes >> shift pixels
};

using SpaceQuery = std::function<bool(const platform::Volume&, platform::VolumeSpace&, int&)>;

// The rows of the window, logging volumes that do not answer and those that
// are network volumes or optical discs. The volumes are asked under the
// deadline; one that does not answer in time is shown not ready.
DriveLayout LayOutDrives(const std::vector<platform::Volume>& volumes, const SpaceQuery& space,
                         std::chrono::milliseconds deadline = platform::kVolumeDeadline);

class HardwareToolDlg : public TemplateDialog {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 18;

    explicit HardwareToolDlg(Services& services, QWidget* parent = nullptr);

    // Builds the window and its rows; false when it cannot be made.
    bool Create();

    int RowCount() const { return static_cast<int>(m_bars.size()); }
    TextProgressCtrl& Bar(int row) const { return *m_bars[static_cast<std::size_t>(row)]; }
    QLabel& Label(int row) const { return *m_labels[static_cast<std::size_t>(row)]; }

private:
    Services& m_services;
    std::vector<TextProgressCtrl*> m_bars;
    std::vector<QLabel*> m_labels;
};
