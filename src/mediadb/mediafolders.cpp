#include "mediadb/mediafolders.h"

#include "feedback/log.h"
#include "platform/directory.h"

#include <algorithm>
#include <optional>
#include <strings.h>

void NoteSearchProblem(std::vector<SearchProblem>& problems, const std::string& path,
                       const std::string& reason) {
    Log(path + " " + reason);
    problems.push_back({path, reason});
}

std::vector<std::string> MediaFolderRoots(const std::vector<platform::Volume>& volumes,
                                          std::vector<SearchProblem>& problems) {
    struct RootListing {
        bool listed = false;
        std::vector<platform::DirEntry> entries;
    };
    const std::vector<std::optional<RootListing>> listings =
        platform::AskVolumes<RootListing>(volumes, [](const platform::Volume& volume) {
            RootListing listing;
            int error = 0;
            listing.listed = platform::ListDirectory(volume.root, listing.entries, error,
                                                     platform::ListDetail::NamesOnly);
            return listing;
        });
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const platform::Volume& volume = volumes[i];
        if (!listings[i]) {
            NoteSearchProblem(problems, volume.root, "does not answer");
            continue;
        }
        if (!listings[i]->listed)
            continue;
        for (const char* mediaFolder : {kOmfiMediaFolder, kAvidMediaFolder}) {
            for (const platform::DirEntry& e : listings[i]->entries) {
                if ((e.attributes & platform::kAttrDirectory) &&
                    strcasecmp(e.name.c_str(), mediaFolder) == 0)
                    folders.push_back(platform::JoinPath(volume.root, e.name));
            }
        }
    }
    return folders;
}

std::vector<std::string> DatabasesThatAnswer(const std::vector<std::string>& databases,
                                             const std::vector<platform::Volume>& volumes,
                                             std::vector<SearchProblem>& problems) {
    std::vector<platform::Volume> holding;
    for (const std::string& path : databases) {
        const platform::Volume* volume = platform::VolumeHolding(path, volumes);
        if (volume != nullptr &&
            std::none_of(holding.begin(), holding.end(),
                         [&](const platform::Volume& v) { return v.root == volume->root; }))
            holding.push_back(*volume);
    }
    const std::vector<std::optional<bool>> answers =
        platform::AskVolumes<bool>(holding, [](const platform::Volume& volume) {
            platform::VolumeSpace space;
            int error = 0;
            return platform::QueryVolumeSpace(volume.root, space, error);
        });
    std::vector<std::string> answering;
    for (std::size_t i = 0; i < holding.size(); ++i) {
        if (!answers[i])
            NoteSearchProblem(problems, holding[i].root, "does not answer");
    }
    for (const std::string& path : databases) {
        const platform::Volume* volume = platform::VolumeHolding(path, volumes);
        const auto at =
            volume == nullptr
                ? holding.end()
                : std::find_if(holding.begin(), holding.end(),
                               [&](const platform::Volume& v) { return v.root == volume->root; });
        if (at == holding.end() || answers[static_cast<std::size_t>(at - holding.begin())])
            answering.push_back(path);
    }
    return answering;
}
