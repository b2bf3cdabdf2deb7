#include "platform/volumes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sstream>
#include <sys/statvfs.h>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {
namespace {

// File systems that are views of the kernel's or a service's state, not
// storage: no user can keep media files on them. Every other file system is
// searched, memory-backed ones (tmpfs, ramfs) and read-only images included,
// since a volume's type says nothing about whether media lie on it.
//   kernel state: proc, sysfs, cgroup, cgroup2, securityfs, pstore, bpf,
//     debugfs, tracefs, configfs, efivarfs, selinuxfs, nsfs, binfmt_misc
//   device and IPC nodes: devtmpfs, devpts, mqueue, hugetlbfs
//   mount and service gateways: autofs (listing it triggers mounts), fusectl,
//     rpc_pipefs, nfsd, fuse.gvfsd-fuse, fuse.portal
const std::set<std::string>& pseudoFileSystems() {
    static const std::set<std::string> names{
        "proc",   "sysfs",       "cgroup",     "cgroup2",  "securityfs",      "pstore",
        "bpf",    "debugfs",     "tracefs",    "configfs", "efivarfs",        "selinuxfs",
        "nsfs",   "binfmt_misc", "devtmpfs",   "devpts",   "mqueue",          "hugetlbfs",
        "autofs", "fusectl",     "rpc_pipefs", "nfsd",     "fuse.gvfsd-fuse", "fuse.portal"};
    return names;
}

// Places of the system's own, whatever is mounted there: /proc, /sys, /dev
// and /run hold kernel views, shared memory, cgroups and the services'
// runtime state (tmpfs mostly), never a user's drive. The one exception is
// /run/media, where removable drives are mounted for the user.
bool isSystemPlace(const std::string& root) {
    auto under = [&](const std::string& folder) {
        return root == folder ||
               (root.size() > folder.size() && root.compare(0, folder.size(), folder) == 0 &&
                root[folder.size()] == '/');
    };
    if (under("/run/media"))
        return false;
    return under("/proc") || under("/sys") || under("/dev") || under("/run");
}

VolumeType typeOf(const std::string& fsType) {
    static const std::set<std::string> network{"nfs",   "nfs4",       "cifs",        "smb3",
                                               "smbfs", "fuse.sshfs", "sshfs",       "afs",
                                               "ncpfs", "9p",         "fuse.rclone", "davfs"};
    if (network.count(fsType) != 0)
        return VolumeType::Network;
    if (fsType == "iso9660" || fsType == "udf")
        return VolumeType::CdRom;
    return VolumeType::Fixed;
}

// Mount points escape blanks and other bytes as \ooo.
std::string unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(),
                                                  [](char c) { return c >= '0' && c <= '7'; })) {
                out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// The roots of volumes with a question still unanswered, over all calls.
// Never destroyed: an abandoned thread may finish while the program exits.
struct OpenQuestions {
    std::mutex mutex;
    std::multiset<std::string> roots;
};

std::atomic<OpenQuestions*> g_openQuestions{nullptr};

OpenQuestions& openQuestions() {
    [[maybe_unused]] static const bool made = [] {
        g_openQuestions = new OpenQuestions;
        return true;
    }();
    return *g_openQuestions;
}

// The threads that ask volumes their questions. One that has answered waits
// a while for the next question instead of ending: a load asks thousands
// (each folder's opening, every batch of its entries, its closing), and a
// thread made for each cost about a tenth of the load. One whose volume never
// answers is never back; others are made as they are needed. Never
// destroyed, like the questions.
class QuestionThreads {
public:
    // Runs job on a waiting thread or a new one; std::system_error when no
    // thread can be made.
    void Run(std::function<void()> job) {
        {
            const std::lock_guard lock(m_mutex);
            // Every job queued has a waiting thread of its own to take it.
            if (m_jobs.size() < m_waiting) {
                m_jobs.push_back(std::move(job));
                m_wake.notify_one();
                return;
            }
        }
        std::thread([this, first = std::move(job)]() mutable { serve(std::move(first)); }).detach();
    }

private:
    void serve(std::function<void()> job) {
        constexpr auto kWaitForMore = std::chrono::seconds(10);
        // Enough for the widest listing; one call over many volumes leaves
        // no more than these holding a thread each.
        constexpr std::size_t kMostWaiting = 16;
        for (;;) {
            job();
            job = nullptr; // what it holds is let go before the thread waits
            std::unique_lock lock(m_mutex);
            if (m_waiting >= kMostWaiting)
                return;
            ++m_waiting;
            const bool more =
                m_wake.wait_for(lock, kWaitForMore, [this] { return !m_jobs.empty(); });
            --m_waiting;
            if (!more)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_waiting = 0;
};

std::atomic<QuestionThreads*> g_questionThreads{nullptr};

QuestionThreads& questionThreads() {
    [[maybe_unused]] static const bool made = [] {
        g_questionThreads = new QuestionThreads;
        // A child of fork has none of its parent's threads, so none waits
        // for its questions and none will close the questions they had
        // open: it starts with threads of its own and no question open. What
        // the parent's held (their locks perhaps among it) is left as it is.
        ::pthread_atfork(nullptr, nullptr, [] {
            g_questionThreads = new QuestionThreads;
            g_openQuestions = new OpenQuestions;
        });
        return true;
    }();
    return *g_questionThreads;
}

std::string labelOf(const std::string& root) {
    if (root == "/")
        return "/";
    const std::size_t slash = root.find_last_of('/');
    return slash == std::string::npos ? root : root.substr(slash + 1);
}

// A volume's name stands for a drive letter (a store puts files below it),
// so no two volumes may share one: where the last parts of their mount
// points are the same, the names grow by the parts before them, joined by
// "_" (/mnt/a/media and /mnt/b/media become a_media and b_media), and a name
// still shared after that gets "-2", "-3" in mount point order.
void tellApart(std::vector<Volume>& volumes) {
    auto partsOf = [](const std::string& root) {
        std::vector<std::string> parts;
        std::istringstream in(root);
        for (std::string part; std::getline(in, part, '/');) {
            if (!part.empty())
                parts.push_back(part);
        }
        return parts;
    };
    std::map<std::string, std::vector<std::size_t>> byLabel;
    for (std::size_t i = 0; i < volumes.size(); ++i)
        byLabel[volumes[i].label].push_back(i);
    for (const auto& entry : byLabel) {
        // Named references, not a structured binding: clang before 16
        // cannot capture a binding in the lambda below.
        const std::string& label = entry.first;
        const std::vector<std::size_t>& members = entry.second;
        if (members.size() < 2)
            continue;
        std::vector<std::vector<std::string>> parts;
        std::size_t deepest = 0;
        for (std::size_t i : members) {
            parts.push_back(partsOf(volumes[i].root));
            deepest = std::max(deepest, parts.back().size());
        }
        // The fewest trailing parts that tell every member apart.
        auto tail = [&](std::size_t member, std::size_t count) {
            const std::vector<std::string>& p = parts[member];
            std::string name;
            for (std::size_t k = p.size() - std::min(count, p.size()); k < p.size(); ++k)
                name += (name.empty() ? "" : "_") + p[k];
            return name.empty() ? label : name;
        };
        std::size_t count = 1;
        for (; count < deepest; ++count) {
            std::set<std::string> names;
            for (std::size_t m = 0; m < members.size(); ++m)
                names.insert(tail(m, count));
            if (names.size() == members.size())
                break;
        }
        for (std::size_t m = 0; m < members.size(); ++m)
            volumes[members[m]].label = tail(m, count);
    }
    std::map<std::string, int> seen;
    for (Volume& v : volumes) {
        const int n = ++seen[v.label];
        if (n > 1) {
            // Appended in two steps: GCC 12 warns (-Wrestrict) on the
            // inlined "-" + std::string at -O3, a false alarm.
            v.label += '-';
            v.label += std::to_string(n);
        }
    }
}

// What one call of AskEach shares with the threads it asked, which may
// outlive it.
struct Tally {
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<bool> done;
    std::size_t running = 0;
    // When a volume was last heard from: asked, or still answering.
    std::chrono::steady_clock::time_point heard;
    // The caller stopped waiting: what is still being answered is for nobody.
    bool givenUp = false;
};

// The call a question thread is answering, for StillAnswering.
thread_local Tally* t_asking = nullptr;

} // namespace

std::vector<Volume> ParseMountInfo(const std::string& text) {
    std::vector<Volume> volumes;
    std::set<std::string> seen;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;)
            f.push_back(w);
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || dash + 1 == f.end())
            continue;
        const std::string fsType = *(dash + 1);
        if (pseudoFileSystems().count(fsType) != 0)
            continue;
        const std::string root = unescape(f[4]);
        if (isSystemPlace(root) || !seen.insert(root).second)
            continue;
        volumes.push_back({root, labelOf(root), typeOf(fsType)});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.root < b.root; });
    tellApart(volumes);
    return volumes;
}

const Volume* VolumeHolding(const std::string& path, const std::vector<Volume>& volumes) {
    const Volume* best = nullptr;
    for (const Volume& v : volumes) {
        const std::string& root = v.root;
        const bool under = root == "/" || path == root ||
                           (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
        if (under && (best == nullptr || root.size() > best->root.size()))
            best = &v;
    }
    return best;
}

bool QueryVolumeSpace(const std::string& root, VolumeSpace& space, int& error) {
    struct statvfs st {};
    if (::statvfs(root.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    const auto unit = static_cast<std::uint64_t>(st.f_frsize);
    space.total = static_cast<std::uint64_t>(st.f_blocks) * unit;
    space.free = static_cast<std::uint64_t>(st.f_bfree) * unit;
    space.available = static_cast<std::uint64_t>(st.f_bavail) * unit;
    error = 0;
    return true;
}

std::vector<bool> detail::AskEach(const std::vector<Volume>& volumes,
                                  const std::function<void(std::size_t)>& ask,
                                  std::chrono::milliseconds deadline) {
    auto tally = std::make_shared<Tally>();
    tally->done.assign(volumes.size(), false);
    tally->heard = std::chrono::steady_clock::now();

    std::vector<bool> start(volumes.size(), false);
    OpenQuestions& open = openQuestions();
    {
        const std::lock_guard lock(open.mutex);
        for (std::size_t i = 0; i < volumes.size(); ++i)
            start[i] = open.roots.count(volumes[i].root) == 0;
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            if (start[i])
                open.roots.insert(volumes[i].root);
        }
    }
    auto closeQuestion = [](const std::string& root) {
        OpenQuestions& questions = openQuestions();
        const std::lock_guard lock(questions.mutex);
        questions.roots.erase(questions.roots.find(root));
    };
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (!start[i])
            continue;
        {
            const std::lock_guard lock(tally->mutex);
            ++tally->running;
        }
        try {
            questionThreads().Run([tally, ask, i, root = volumes[i].root, closeQuestion] {
                // A question that fails (no memory for its answer) goes
                // unanswered, as if the volume had not answered.
                bool answered = true;
                Tally* const outer = std::exchange(t_asking, tally.get());
                try {
                    ask(i);
                } catch (...) {
                    answered = false;
                }
                t_asking = outer;
                // Closed before it counts as answered: the caller may ask
                // again as soon as it has its answers.
                closeQuestion(root);
                {
                    const std::lock_guard lock(tally->mutex);
                    tally->done[i] = answered;
                    --tally->running;
                }
                tally->finished.notify_all();
            });
        } catch (...) {
            // No thread to spare (or no memory to hand it the question): the
            // volume goes unasked, as if it did not answer.
            const std::lock_guard lock(tally->mutex);
            --tally->running;
            closeQuestion(volumes[i].root);
        }
    }
    std::unique_lock lock(tally->mutex);
    // Each word from a volume still answering starts the deadline again.
    while (!tally->finished.wait_until(lock, tally->heard + deadline,
                                       [&] { return tally->running == 0; })) {
        if (std::chrono::steady_clock::now() >= tally->heard + deadline)
            break;
    }
    tally->givenUp = tally->running != 0;
    return tally->done;
}

bool StillAnswering() {
    Tally* tally = t_asking;
    if (tally == nullptr)
        return true;
    const std::lock_guard lock(tally->mutex);
    tally->heard = std::chrono::steady_clock::now();
    return !tally->givenUp;
}

std::vector<Volume> MountedVolumes() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

} // namespace platform
