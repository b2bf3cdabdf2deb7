#pragma once
// Writes media folders into a temporary folder: media files of given sizes
// and media databases naming records, with binary filler between them as the
// real databases have.

#include "builders/databasebuilder.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct DbRecord {
    std::string fileName;
    std::string project;
};

// Creates a file of size bytes, with any missing parent folders.
void MakeFile(const std::string& path, std::size_t size = 0);
// Creates a folder with any missing parents.
void MakeFolder(const std::string& path);
// Writes folder/msmFMID.pmr naming the records, alternating byte orders.
std::string WriteDatabase(const std::string& folder, const std::vector<DbRecord>& records,
                          std::uint32_t seed = 1);
