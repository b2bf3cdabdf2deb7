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

// A place a search could not look into, and why ("does not answer",
// "cannot be read: Permission denied").
struct SearchProblem {
    std::string path;
    std::string reason;
};

// Adds the problem and logs it.
void NoteSearchProblem(std::vector<SearchProblem>& problems, const std::string& path,
                       const std::string& reason);

// The "OMFI MediaFiles" folders directly below the roots of the volumes, then
// the "AVID MediaFiles" ones, volume by volume; the names are matched as a
// case-insensitive file system would. The roots are listed under the volume
// deadline: a volume that does not answer in time is left out and noted in
// problems. A volume whose root cannot be listed has none; that is no
// problem, since many mounts are closed to most users and hold no media.
std::vector<std::string> MediaFolderRoots(const std::vector<platform::Volume>& volumes,
                                          std::vector<SearchProblem>& problems);

// The databases whose volumes answer within the volume deadline, in their
// order; one on a volume that does not is left out and noted in problems,
// so that loading them cannot hang on a volume that died after discovery.
std::vector<std::string> DatabasesThatAnswer(const std::vector<std::string>& databases,
                                             const std::vector<platform::Volume>& volumes,
                                             std::vector<SearchProblem>& problems);
