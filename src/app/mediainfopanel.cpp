#include "app/mediainfopanel.h"

#include "mediadb/mediacatalog.h"
#include "omf/mediafacts.h"
#include "widgets/listview.h"

#include <cstring>

namespace {

// The label column's width and the gap the text column leaves beside it,
// in template pixels.
constexpr int kLabelColumnWidth = 80;
constexpr int kTextColumnGap = 82;

template <std::size_t N> void copyText(char (&field)[N], const std::string& text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace

MediaInfoPanel::MediaInfoPanel(ListView& infoList) : m_infoList(infoList) {}

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
    m_mediaFile.Close();
}

void MediaInfoPanel::ShowMediaInfo(MediaRecord* record) {
    Clear();
    if (record == nullptr)
        return;
    if (!m_mediaFile.Open(MediaCatalog::FullPath(*record).c_str()))
        return;
    const MediaFacts facts = ReadMediaFacts(m_mediaFile);
    copyText(record->nameInBin, facts.clipName);
    copyText(record->compressionText, facts.compressionText);
    record->compressionCode = facts.compressionCode;
    copyText(record->sourceName, facts.sourceName);
}
