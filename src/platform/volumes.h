#pragma once
// The mounted volumes, which stand in for drives: one root folder each.

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

// Parses the text of /proc/self/mountinfo into volumes.
std::vector<Volume> ParseMountInfo(const std::string& text);

} // namespace platform
