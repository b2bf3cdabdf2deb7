#pragma once
// Names the editing application gives its media folders and files, and
// where they lie on the volumes.

#include "platform/volumes.h"

#include <string>
#include <vector>

// Media folders directly below the root of every volume.
inline constexpr char kOmfiMediaFolder[] = "OMFI MediaFiles";
inline constexpr char kAvidMediaFolder[] = "AVID MediaFiles";
// The media database of a media folder and its companion file.
inline constexpr char kDatabaseFileName[] = "msmFMID.pmr";
inline constexpr char kCompanionFileName[] = "msmMMOB.mdb";

// The "OMFI MediaFiles" folders directly below the roots of the volumes, then
// the "AVID MediaFiles" ones, volume by volume; the names are matched as a
// case-insensitive file system would. A volume that cannot be listed has
// none.
std::vector<std::string> MediaFolderRoots(const std::vector<platform::Volume>& volumes);
