#include "app/mediainfopanel.h"

#include "feedback/log.h"
#include "graphics/dibimage.h"
#include "mediadb/mediacatalog.h"
#include "platform/formatting.h"
#include "widgets/listview.h"
#include "widgets/picturecontrol.h"

#include <QSignalBlocker>
#include <QSlider>

#include <climits>
#include <cstring>

namespace {

// The label column's width and the gap the text column leaves beside it,
// in template pixels.
constexpr int kLabelColumnWidth = 80;
constexpr int kTextColumnGap = 82;

} // namespace

MediaInfoPanel::MediaInfoPanel(ListView& infoList, PictureControl& picture, QSlider& slider)
    : m_infoList(infoList), m_picture(picture), m_slider(slider) {
    connect(&m_slider, &QSlider::valueChanged, this, &MediaInfoPanel::RequestFrame);
    connect(&m_slider, &QSlider::sliderReleased, this, &MediaInfoPanel::RequestFrame);
}

void MediaInfoPanel::SetUpColumns() {
    m_infoList.SetColumns({{"", kLabelColumnWidth}, {"", 0}});
    FitColumns();
}

void MediaInfoPanel::FitColumns() {
    const int inside = m_infoList.width() - 2 * m_infoList.frameWidth();
    m_infoList.setColumnWidth(1, std::max(0, inside - m_infoList.ScaledWidth(kTextColumnGap)));
}

void MediaInfoPanel::Clear() {
    m_infoList.DeleteAllRows();
    CloseMediaFile();
    m_picture.Erase();
}

void MediaInfoPanel::CloseMediaFile() {
    m_reader.Close();
}

void MediaInfoPanel::AddRow(int index, const std::string& label, const std::string& value) {
    const int row = m_infoList.InsertRow(index, label, 0);
    m_infoList.SetText(row, 1, value);
}

void MediaInfoPanel::ShowMediaInfo(MediaRecord* record) {
    Clear();
    if (record == nullptr)
        return;
    if (IsMissing(*record)) {
        AddRow(0, "Error:", "File does not exist");
        return;
    }
    if (record->creationTime != 0)
        AddRow(0, "Creation Date:", platform::FormatFileTime(record->creationTime));
    AddRow(1, "Size:", platform::FormatKBSize(record->size));
    constexpr unsigned kShown = kFactClip | kFactCompression | kFactSource | kFactEssence;
    const std::optional<FileFacts> facts = m_reader.Read(*record, kShown);
    if (!facts)
        return;
    ApplyFacts(*facts, kShown, *record);
    if (facts->kind == FileFacts::Kind::Mxf) {
        ShowMxfInfo(*record, facts->hasSource);
        return;
    }
    OmfReader& file = m_reader.Omf();
    AddRow(2, "Name in Bin:", record->nameInBin.str());
    char compression[30];
    AddRow(3, "Compression:",
           std::string(CompressionName(record->compressionCode, compression, sizeof compression)) +
               " / " + record->compressionText.str());
    const int frames = file.FrameCount();
    if (frames != 0) {
        AddRow(4, "Num frames:", std::to_string(frames));
        // The range changes without showing a frame for the clamped position.
        const QSignalBlocker quiet(m_slider);
        m_slider.setRange(0, frames - 1);
    }
    m_picture.Erase();
    if (record->compressionText.view() == "JFIF" && file.LoadFrameTable())
        ShowFrame(0);
    if (facts->hasSource)
        AddRow(5, "Source:", record->sourceName.str());
}

void MediaInfoPanel::ShowMxfInfo(const MediaRecord& record, bool hasSource) {
    const MxfFacts& facts = m_reader.Mxf().Facts();
    AddRow(2, "Name in Bin:", record.nameInBin.str());
    if (record.codecName[0] != '\0')
        AddRow(3, "Compression:", record.codecName.str() + " / " + record.compressionText.str());
    if (facts.frameCount > 0) {
        AddRow(4, "Num frames:", std::to_string(facts.frameCount));
        const QSignalBlocker quiet(m_slider);
        m_slider.setRange(0,
                          static_cast<int>(std::min<std::int64_t>(facts.frameCount, INT_MAX) - 1));
    }
    m_picture.Erase();
    if (facts.hasPicture)
        ShowFrame(0);
    if (hasSource)
        AddRow(5, "Source:", record.sourceName.str());
}

void MediaInfoPanel::ShowFrame(int n) {
    if (n < 0)
        return;
    if (m_reader.Mxf().IsOpen()) {
        ShowMxfFrame(n);
        return;
    }
    OmfReader& file = m_reader.Omf();
    const std::uint32_t size = file.FrameSize(static_cast<std::uint32_t>(n));
    if (size == 0)
        return;
    if (size > kMaxFrameBytes) {
        LogF("Frame %d of %u bytes not shown", n, size);
        return;
    }
    std::vector<std::uint8_t> buffer(size);
    if (!file.ReadFrame(static_cast<std::uint32_t>(n), buffer.data(), size))
        return;
    const DibImage image(buffer.data(), buffer.size(), DibImage::Type::Jpeg);
    m_picture.Erase();
    if (image.IsValid())
        m_picture.ShowImage(image);
    ++m_framesShown;
    m_lastFrameShown = n;
}

void MediaInfoPanel::ShowMxfFrame(int n) {
    MxfReader& file = m_reader.Mxf();
    if (!file.DecodeFrame(n))
        return;
    const int width = file.FrameWidth();
    const int height = file.FrameHeight();
    if ((m_mxfPicture.Width() != width || m_mxfPicture.Height() != height) &&
        !m_mxfPicture.Create(width, height, 24)) {
        LogF("Frame %d of %dx%d pixels not shown", n, width, height);
        return;
    }
    // The picture's rows are stored bottom-up.
    const auto stride = static_cast<std::ptrdiff_t>(m_mxfPicture.Stride());
    if (!file.CopyFrameBgr(m_mxfPicture.Row(height - 1), -stride))
        return;
    m_picture.Erase();
    m_picture.ShowImage(m_mxfPicture);
    ++m_framesShown;
    m_lastFrameShown = n;
}

void MediaInfoPanel::RequestFrame() {
    if (m_frameRequested)
        return;
    m_frameRequested = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_frameRequested = false;
            ShowFrame(m_slider.value());
        },
        Qt::QueuedConnection);
}
