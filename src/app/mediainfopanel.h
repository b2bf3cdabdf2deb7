#pragma once
// The media file information panel: the information list of one selected
// media file, the picture area and the frame slider, and the media file
// that stays open while it is shown.

#include "omf/omfreader.h"

struct MediaRecord;
class ListView;

class MediaInfoPanel {
public:
    explicit MediaInfoPanel(ListView& infoList);

    // Installs the list's two untitled columns.
    void SetUpColumns();
    // Keeps the text column as wide as the list's inside allows.
    void FitColumns();
    // Empties the information list and closes the media file.
    void Clear();
    // Opens the record's media file and reads its clip name, compression
    // and source into the record; no record only clears the panel.
    void ShowMediaInfo(MediaRecord* record);

    OmfReader& CurrentMediaFile() { return m_mediaFile; }
    ListView& InfoList() const { return m_infoList; }

private:
    ListView& m_infoList;
    OmfReader m_mediaFile;
};
