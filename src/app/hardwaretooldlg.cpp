#include "app/hardwaretooldlg.h"

#include "feedback/log.h"
#include "platform/formatting.h"
#include "platform/qtext.h"
#include "resources/dialogtemplate.h"
#include "widgets/elidedtext.h"
#include "widgets/textprogressctrl.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>

namespace {

const QColor kNetworkBackground(223, 255, 223);
const QColor kCdRomBackground(223, 255, 255);
const QColor kOtherBackground(255, 223, 255);
const QColor kFillFirst(15, 15, 239);
const QColor kFillSecond(115, 115, 115);
constexpr int kFirstRowBottom = 23;

QFont rowFont(bool bold) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

} // namespace

DriveLayout LayOutDrives(const std::vector<platform::Volume>& volumes, const SpaceQuery& space,
                         std::chrono::milliseconds deadline) {
    struct SpaceAnswer {
        bool known = false;
        platform::VolumeSpace space;
        int error = 0;
    };
    const std::vector<std::optional<SpaceAnswer>> answers = platform::AskVolumes<SpaceAnswer>(
        volumes,
        [space](const platform::Volume& v) {
            SpaceAnswer answer;
            answer.known = space(v, answer.space, answer.error);
            return answer;
        },
        deadline);
    DriveLayout layout;
    std::uint64_t largest = 0;
    for (const std::optional<SpaceAnswer>& answer : answers) {
        if (answer && answer->known)
            largest = std::max(largest, answer->space.total);
    }
    int shift = 0;
    while (largest > 300) {
        largest >>= 1;
        ++shift;
    }
    layout.scaledWidth = static_cast<int>(largest);
    layout.shift = shift;
    const int m = layout.scaledWidth;

    int y = kFirstRowBottom;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const platform::Volume& v = volumes[i];
        DriveRow row;
        platform::VolumeSpace s;
        if (answers[i] && answers[i]->known) {
            s = answers[i]->space;
            row.barText = platform::FormatByteSize(s.free);
            row.label = v.root + " ( " + v.label + " ) -  " + platform::FormatByteSize(s.total) +
                        " total / " + platform::FormatByteSize(s.total - s.free) + " used";
        } else {
            // A volume that does not answer keeps its row: the window is
            // where a hung mount is seen.
            if (answers[i])
                LogError(answers[i]->error, v.root.c_str());
            else
                Log(v.root + " does not answer");
            row.label = " " + v.root + " -  Device Not ready";
        }
        // Small volumes are drawn eight times longer, on the common scale.
        std::uint64_t width = s.total >> shift;
        if (width <= 15)
            width = shift >= 3 ? s.total >> (shift - 3) : 0;
        row.bar = QRect(5, y - 18, static_cast<int>(width), 18);
        row.rangeMaximum = static_cast<int>(s.total >> shift);
        row.position = static_cast<int>((s.total - s.free) >> shift);
        switch (v.type) {
        case platform::VolumeType::Network:
            LogF("%s Network drive", v.root.c_str());
            row.background = kNetworkBackground;
            break;
        case platform::VolumeType::CdRom:
            LogF("%s CD-ROM", v.root.c_str());
            row.background = kCdRomBackground;
            break;
        case platform::VolumeType::Fixed:
            row.background = kOtherBackground;
            break;
        }
        row.labelRect = QRect(m + 20, y - 18, 300, 18);
        layout.rows.push_back(std::move(row));
        y += 18;
    }
    return layout;
}

HardwareToolDlg::HardwareToolDlg(Services& services, QWidget* parent)
    : TemplateDialog(parent), m_services(services) {}

bool HardwareToolDlg::Create() {
    if (!CreateFromTemplate(res::IDD_HARDWARE_TOOL))
        return false;
    setModal(true);
    const DriveLayout layout = LayOutDrives(m_services.volumes(), m_services.volumeSpace);
    // The rows lie on a sheet that scrolls when there are more of them than
    // the screen has room for.
    auto* scroll = new QScrollArea(Client());
    scroll->setFrameShape(QFrame::NoFrame);
    auto* sheet = new QWidget();
    const int rowsHeight =
        kFirstRowBottom - kRowHeight + static_cast<int>(layout.rows.size()) * kRowHeight;
    sheet->resize(layout.scaledWidth + 325, rowsHeight + 5);
    const QFont bold = rowFont(true);
    const QFont normal = rowFont(false);
    int id = res::IDC_DRIVE_BAR_FIRST;
    for (const DriveRow& row : layout.rows) {
        auto* bar = new TextProgressCtrl(sheet);
        bar->setObjectName(QString::number(id++));
        bar->setGeometry(row.bar);
        bar->SetRange(0, row.rangeMaximum);
        bar->SetPos(row.position);
        bar->background = row.background;
        bar->barColours = {kFillFirst, kFillSecond};
        bar->textOverBar = Qt::white;
        bar->textOverBackground = Qt::black;
        bar->marginLeft = bar->marginTop = bar->marginRight = bar->marginBottom = 1;
        bar->setFont(bold);
        bar->SetText(row.barText, TextProgressCtrl::kTextBits);
        auto* label = new QLabel(sheet);
        label->setGeometry(row.labelRect);
        label->setFont(normal);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // A long mount point ends at a word, with "..."; the whole text is
        // the label's tip.
        const QString text = ToQt(row.label);
        label->setText(WordElided(text, label->fontMetrics(), label->contentsRect().width()));
        label->setToolTip(text);
        m_bars.push_back(bar);
        m_labels.push_back(label);
    }
    scroll->setWidget(sheet);
    // The window grows by the rows, up to the screen's height.
    QSize size = this->size() +
                 QSize(layout.scaledWidth + 315, kRowHeight * static_cast<int>(layout.rows.size()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size.setHeight(std::min(size.height(), screen->availableGeometry().height()));
    setFixedSize(size);
    scroll->setGeometry(Client()->rect());
    scroll->resize(size);
    return true;
}
