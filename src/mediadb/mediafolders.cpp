#include "mediadb/mediafolders.h"

#include "platform/directory.h"

#include <strings.h>

std::vector<std::string> MediaFolderRoots(const std::vector<platform::Volume>& volumes) {
    std::vector<std::string> folders;
    for (const platform::Volume& volume : volumes) {
        std::vector<platform::DirEntry> entries;
        int error = 0;
        if (!platform::ListDirectory(volume.root, entries, error, platform::ListDetail::NamesOnly))
            continue;
        for (const char* mediaFolder : {kOmfiMediaFolder, kAvidMediaFolder}) {
            for (const platform::DirEntry& e : entries) {
                if ((e.attributes & platform::kAttrDirectory) &&
                    strcasecmp(e.name.c_str(), mediaFolder) == 0)
                    folders.push_back(platform::JoinPath(volume.root, e.name));
            }
        }
    }
    return folders;
}
