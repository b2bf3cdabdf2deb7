#pragma once
// The mounted volumes, which stand in for drives: one root folder each.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class VolumeType { Fixed, Network, CdRom };

struct Volume {
    std::string root;  // the mount point
    std::string label; // the volume's name
    VolumeType type = VolumeType::Fixed;
};

// The mounted volumes ordered by root path, pseudo file systems left out.
std::vector<Volume> MountedVolumes();

// What a volume holds, in bytes.
struct VolumeSpace {
    std::uint64_t available = 0; // free to this process
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};

// The sizes of the volume mounted at root; false with errno in error when
// the volume does not answer.
bool QueryVolumeSpace(const std::string& root, VolumeSpace& space, int& error);

// Parses the text of /proc/self/mountinfo into volumes.
std::vector<Volume> ParseMountInfo(const std::string& text);

} // namespace platform
