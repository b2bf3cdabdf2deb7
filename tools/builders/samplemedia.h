#pragma once
#include <string>

// Writes a realistic sample of media folders under root: "OMFI MediaFiles/1"
// and "AVID MediaFiles/MXF/1" with their databases, OMF media files of three
// projects (some with JPEG frames), OP-Atom MXF pictures, a few
// unreferenced and missing files, and a bin naming some of the media.
// Returns the bin's path; empty when the media could not be written.
std::string WriteSampleMedia(const std::string& root);
