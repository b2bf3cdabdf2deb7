#include "mediadb/mxffacts.h"

bool IsMxfName(std::string_view name) {
    return name.ends_with("mxf") || name.ends_with("MXF");
}

void StoreMxfProject(const MxfFacts& facts, MediaRecord& record) {
    if (facts.projectName.empty()) {
        SetRecordText(record.projectName, kNullProject);
    } else {
        // Database and OMF project names are at most 69 characters.
        char name[70];
        SetRecordText(name, facts.projectName);
        SetRecordText(record.projectName, name);
    }
    record.projectNameLength = static_cast<std::uint32_t>(std::strlen(record.projectName));
}

void StoreMxfFacts(const MxfFacts& facts, MediaRecord& record) {
    SetRecordText(record.nameInBin, facts.clipName);
    SetRecordText(record.codecName, facts.codecName);
    SetRecordText(record.compressionText, facts.codecShortName);
    record.compressionCode = 0;
    SetRecordText(record.sourceName, facts.sourceName);
}
