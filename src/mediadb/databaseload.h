#pragma once
// Loading a list of media databases into the catalog, one after another, as
// SCAN! and the report do, with what became of each.

#include "mediadb/mediacatalog.h"

#include <string>
#include <vector>

class Progress;

struct DatabaseOutcome {
    std::string path;
    MediaCatalog::LoadResult result = MediaCatalog::LoadResult::Loaded;
    // Why it did not load, or loaded only in part; empty when it loaded.
    std::string error;
};

// Loads each database into the catalog (which is not reset first) and
// returns each one's outcome in the order given.
std::vector<DatabaseOutcome> LoadDatabases(MediaCatalog& catalog,
                                           const std::vector<std::string>& paths, bool keepMissing,
                                           Progress* progress);
