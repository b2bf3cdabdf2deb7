#pragma once
// What an MXF media file says of itself, put into its media record.

#include "mediadb/mediarecord.h"
#include "mxf/mxfreader.h"

#include <string_view>

// Whether a file of that name is read as MXF: it ends in "mxf" or "MXF".
bool IsMxfName(std::string_view name);

// The record's project: the one the file names, or "**NULL_PROJECT".
void StoreMxfProject(const MxfFacts& facts, MediaRecord& record);
// The record's clip name, compression and source. The compression code is
// OMF's and stays 0: the codec's name tells an MXF file's compression.
void StoreMxfFacts(const MxfFacts& facts, MediaRecord& record);
