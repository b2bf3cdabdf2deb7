#pragma once
// Names the editing application gives its media folders and files.

// Media folders directly below the root of every volume.
inline constexpr char kOmfiMediaFolder[] = "OMFI MediaFiles";
inline constexpr char kAvidMediaFolder[] = "AVID MediaFiles";
// The media database of a media folder and its companion file.
inline constexpr char kDatabaseFileName[] = "msmFMID.pmr";
inline constexpr char kCompanionFileName[] = "msmMMOB.mdb";
