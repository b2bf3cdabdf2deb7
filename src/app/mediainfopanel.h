#pragma once
// The media file information panel: the information list of one selected
// media file, the picture area showing its frames, the frame slider, and
// the media file that stays open while it is shown.

#include "graphics/dibimage.h"
#include "mediadb/filefacts.h"

#include <QObject>

struct MediaRecord;
class ListView;
class PictureControl;
class QSlider;

class MediaInfoPanel : public QObject {
    Q_OBJECT

public:
    // A frame is read whole; one larger than this is no frame of a media file.
    static constexpr std::uint32_t kMaxFrameBytes = 64u << 20;

    MediaInfoPanel(ListView& infoList, PictureControl& picture, QSlider& slider);

    // Installs the list's two untitled columns.
    void SetUpColumns();
    // Keeps the text column as wide as the list's inside allows.
    void FitColumns();
    // Empties the information list and the picture and closes the media
    // file; the slider keeps its range and position.
    void Clear();
    // Whether MXF files are read; off, an MXF file shows its date and size.
    void SetReadMxf(bool on) { m_reader.SetReadMxf(on); }
    bool ReadsMxf() const { return m_reader.ReadsMxf(); }
    // Fills the panel for a media file: its facts from the record and, when
    // it opens as a container or as an MXF file, from the file (which also
    // go into the record); for JPEG frames and MXF pictures the first
    // frame. No record only clears.
    void ShowMediaInfo(MediaRecord* record);
    // Reads frame n of the current media file, decodes it and shows it
    // stretched over the picture area; nothing at all when the frame has no
    // size (no frame table loaded, or n beyond the last frame) or, in an MXF
    // file, does not decode.
    void ShowFrame(int n);

    OmfReader& CurrentMediaFile() { return m_reader.Omf(); }
    MxfReader& CurrentMxfFile() { return m_reader.Mxf(); }
    // Closes whichever media file the panel holds open.
    void CloseMediaFile();
    ListView& InfoList() const { return m_infoList; }
    PictureControl& Picture() const { return m_picture; }
    QSlider& Slider() const { return m_slider; }
    // How many frames were decoded and shown, and the last one's number.
    int FramesShown() const { return m_framesShown; }
    int LastFrameShown() const { return m_lastFrameShown; }

private:
    void AddRow(int index, const std::string& label, const std::string& value);
    // A slider notification: the frame at the slider's position is shown
    // when the event loop next runs; notifications that arrive before then
    // collapse into one, so a fast drag never builds up a backlog.
    void RequestFrame();
    void ShowMxfInfo(const MediaRecord& record, bool hasSource);
    void ShowMxfFrame(int n);

    ListView& m_infoList;
    PictureControl& m_picture;
    QSlider& m_slider;
    // The media file shown, kept open for its frames.
    FactsReader m_reader;
    // The MXF frame's picture, kept so that stepping reuses its memory.
    DibImage m_mxfPicture;
    bool m_frameRequested = false;
    int m_framesShown = 0;
    int m_lastFrameShown = -1;
};
