#include "mediadb/databaseload.h"

#include "platform/systemtext.h"

#include <cerrno>

namespace {

// Why a database or its folder could not be read.
std::string causeOf(const platform::OpenError& failure) {
    if (failure.systemCode == ETIMEDOUT)
        return "does not answer";
    if (!failure.reason.empty())
        return "cannot be read: " + failure.reason;
    if (failure.systemCode > 0)
        return "cannot be read: " + platform::SystemErrorText(failure.systemCode);
    return "cannot be read";
}

std::string errorOf(MediaCatalog::LoadResult result, const platform::OpenError& failure,
                    const std::string& path) {
    switch (result) {
    case MediaCatalog::LoadResult::Loaded:
        return {};
    case MediaCatalog::LoadResult::TooSmall:
        return "too small to be a media database";
    case MediaCatalog::LoadResult::EmptyPath:
        return "does not exist";
    case MediaCatalog::LoadResult::CannotOpen:
        if (failure.fileName != path)
            return failure.systemCode > 0 ? "its folder " + causeOf(failure)
                                          : "its folder's path is too long";
        if (failure.systemCode == ENOENT || failure.systemCode == ENOTDIR)
            return "does not exist";
        return causeOf(failure);
    case MediaCatalog::LoadResult::Broken:
        return "could not be read to its end: " + causeOf(failure);
    }
    return "cannot be read";
}

} // namespace

std::vector<DatabaseOutcome> LoadDatabases(MediaCatalog& catalog,
                                           const std::vector<std::string>& paths, bool keepMissing,
                                           Progress* progress) {
    std::vector<DatabaseOutcome> outcomes;
    outcomes.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const std::span<const std::string> upcoming(paths.data() + i + 1, paths.size() - i - 1);
        DatabaseOutcome outcome{
            path, catalog.LoadDatabase(path, keepMissing, progress, upcoming), {}};
        outcome.error = errorOf(outcome.result, catalog.LoadFailure(), path);
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}
