#pragma once
// What the windows and operations get from outside instead of reaching for
// globals: the prompter every question goes through, the list of mounted
// volumes, and the debug console when there is one. The program makes one at
// start-up; tests make their own with scripted answers and volumes of their
// own.

#include "platform/volumes.h"

#include <functional>
#include <vector>

class DebugConsole;
class Prompter;

struct Services {
    Prompter& prompter;
    std::function<std::vector<platform::Volume>()> volumes = platform::MountedVolumes;
    // What a volume holds; false with an errno when it does not answer.
    std::function<bool(const platform::Volume&, platform::VolumeSpace&, int&)> volumeSpace =
        [](const platform::Volume& v, platform::VolumeSpace& space, int& error) {
            return platform::QueryVolumeSpace(v.root, space, error);
        };
    // Null when the console could not be created: logging is then off.
    DebugConsole* console = nullptr;
};
