#pragma once
// The mounted volumes, which stand in for drives: one root folder each.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// The volume that holds path: the one with the longest root it lies under;
// null when none does.
const Volume* VolumeHolding(const std::string& path, const std::vector<Volume>& volumes);

// Parses the text of /proc/self/mountinfo into volumes.
std::vector<Volume> ParseMountInfo(const std::string& text);

// How long a volume is given to answer. A hard-mounted network share whose
// server is gone, or a FUSE file system that stopped answering, blocks every
// call into it for good; whatever walks the volumes must not wait for it.
inline constexpr std::chrono::milliseconds kVolumeDeadline{3000};

namespace detail {
// Runs ask(i) for each volume i, all at once, each in a thread of its own;
// true for those that returned within the deadline (from the last word, see
// StillAnswering).
std::vector<bool> AskEach(const std::vector<Volume>& volumes,
                          const std::function<void(std::size_t)>& ask,
                          std::chrono::milliseconds deadline);
} // namespace detail

// Said within a question that AskVolumes asked: the volume has answered a
// piece of it, and the call waits a whole deadline again from now (for every
// volume it asked). A long question that keeps answering (a large folder read
// a batch at a time) is waited for to its end, and one that stops answering
// is given up a deadline after its last word. False once the call has given
// up waiting: the question should stop, as nobody takes its answer. True
// outside a question.
bool StillAnswering();

// Asks every volume the question at once and waits until all have answered
// or the deadline has passed (from the last word, see StillAnswering), so
// that any number of dead volumes cost one deadline. The answers come in the
// order of the volumes, empty for a volume that did not answer in time.
// A call into a file system that does not answer cannot be cancelled: its
// thread is left to finish whenever the call returns, and then touches only
// what it shares with this call (the question is copied for that reason: it
// must not refer to anything the caller owns). A volume whose earlier
// question is still unanswered is not asked again and answers nothing at
// once, so a dead volume holds one thread however often it is asked.
template <class Answer>
std::vector<std::optional<Answer>>
AskVolumes(const std::vector<Volume>& volumes, std::function<Answer(const Volume&)> question,
           std::chrono::milliseconds deadline = kVolumeDeadline) {
    struct Shared {
        std::vector<Volume> volumes;
        std::function<Answer(const Volume&)> question;
        std::vector<std::optional<Answer>> answers;
    };
    auto shared = std::make_shared<Shared>(
        Shared{volumes, std::move(question), std::vector<std::optional<Answer>>(volumes.size())});
    const std::vector<bool> answered = detail::AskEach(
        volumes,
        [shared](std::size_t i) { shared->answers[i] = shared->question(shared->volumes[i]); },
        deadline);
    // Only the answers of finished threads are read; the others may still be
    // written.
    std::vector<std::optional<Answer>> answers(volumes.size());
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (answered[i])
            answers[i] = std::move(shared->answers[i]);
    }
    return answers;
}

} // namespace platform
