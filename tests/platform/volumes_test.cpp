#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <latch>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Answers = std::vector<std::optional<std::string>>;

// Asks the volumes a question that waits until every one of them has been
// asked: they can only be answered when they are asked together.
Answers askTogether(const std::vector<platform::Volume>& volumes) {
    auto together = std::make_shared<std::latch>(static_cast<std::ptrdiff_t>(volumes.size()));
    return platform::AskVolumes<std::string>(
        volumes,
        [together](const platform::Volume& v) {
            together->arrive_and_wait();
            return v.label;
        },
        10s);
}

TEST(AskVolumes, AsksEveryVolumeAtOnce) {
    EXPECT_EQ(askTogether({{"/ask/a", "a"}, {"/ask/b", "b"}, {"/ask/c", "c"}}),
              (Answers{"a", "b", "c"}));
}

// Where questions that stand for a volume that does not answer wait, until
// the gate opens.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    int asked = 0;

    void Pass() {
        std::unique_lock lock(mutex);
        opened.wait(lock, [&] { return open; });
    }
    void Open() {
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

// A question answered once the gate opens.
auto heldAt(std::shared_ptr<Gate> gate) {
    return [gate](const platform::Volume& v) {
        gate->Pass();
        return v.label;
    };
}

TEST(AskVolumes, LeavesASilentVolumeBehindAndDoesNotAskItAgainUntilItAnswers) {
    auto gate = std::make_shared<Gate>();
    auto question = [gate](const platform::Volume& v) {
        // Long enough to live on the heap, so that a late write into freed
        // memory would be caught.
        std::string answer = v.root + std::string(64, '.');
        if (v.label == "dead") {
            std::unique_lock lock(gate->mutex);
            ++gate->asked;
            gate->opened.wait(lock, [&] { return gate->open; });
        }
        return answer;
    };
    const std::vector<platform::Volume> volumes{{"/ask/dead", "dead"}, {"/ask/alive", "alive"}};
    const std::string alive = "/ask/alive" + std::string(64, '.');
    EXPECT_EQ(platform::AskVolumes<std::string>(volumes, question, 2s), (Answers{{}, alive}));
    // Its first question is still open: it is not asked again, and the
    // others do not wait for it.
    EXPECT_EQ(platform::AskVolumes<std::string>(volumes, question, 600s), (Answers{{}, alive}));
    {
        const std::lock_guard lock(gate->mutex);
        EXPECT_EQ(gate->asked, 1);
        gate->open = true;
    }
    gate->opened.notify_all();
    // The abandoned question now finishes and writes its answer after its
    // caller has gone; once that is done the volume is asked again.
    std::optional<std::string> again;
    for (const auto bound = std::chrono::steady_clock::now() + 60s;
         !again && std::chrono::steady_clock::now() < bound; std::this_thread::yield())
        again = platform::AskVolumes<std::string>({volumes[0]}, question, 60s)[0];
    EXPECT_EQ(again, "/ask/dead" + std::string(64, '.'));
    const std::lock_guard lock(gate->mutex);
    EXPECT_EQ(gate->asked, 2);
}

// A long question that keeps saying it is still answering is waited for to
// its end, well past one deadline; one that falls silent is given up a
// deadline after its last word, and not later.
TEST(AskVolumes, AQuestionStillAnsweringHasTheDeadlineFromItsLastWord) {
    const auto talking = [](const platform::Volume& v) {
        for (int step = 0; step < 6; ++step) {
            std::this_thread::sleep_for(100ms);
            platform::StillAnswering();
        }
        return v.label;
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::AskVolumes<std::string>({{"/ask/talking", "talking"}}, talking, 300ms),
              (Answers{"talking"}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);

    auto gate = std::make_shared<Gate>();
    const auto fallsSilent = [gate](const platform::Volume& v) {
        std::this_thread::sleep_for(200ms);
        platform::StillAnswering();
        gate->Pass();
        return v.label;
    };
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::AskVolumes<std::string>({{"/ask/silent", "silent"}}, fallsSilent, 300ms),
              (Answers{std::nullopt}));
    const auto waited = std::chrono::steady_clock::now() - asked;
    EXPECT_GE(waited, 480ms);
    EXPECT_LT(waited, 5s);
    gate->Open();

    // A question given up by its caller hears so at its next word, and stops
    // instead of going on for nobody.
    auto words = std::make_shared<std::atomic<int>>(0);
    const auto goesOn = [words](const platform::Volume& v) {
        std::this_thread::sleep_for(400ms);
        while (platform::StillAnswering() && words->fetch_add(1) < 200)
            std::this_thread::sleep_for(10ms);
        return v.label;
    };
    EXPECT_EQ(platform::AskVolumes<std::string>({{"/ask/late", "late"}}, goesOn, 300ms),
              (Answers{std::nullopt}));
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(words->load(), 0);
    EXPECT_TRUE(platform::StillAnswering()) << "outside a question";
}

// Threads that have answered take the next questions; one still held by its
// volume is never handed another, so questions asked together are answered
// together however many came before.
TEST(AskVolumes, ThreadsThatAnsweredTakeTheNextQuestionsButNeverOneStillAsking) {
    auto gate = std::make_shared<Gate>();
    const auto held = heldAt(gate);
    EXPECT_EQ(platform::AskVolumes<std::string>({{"/pool/dead", "dead"}}, held, 100ms),
              (Answers{{}}));
    const std::vector<platform::Volume> volumes{
        {"/pool/a", "a"}, {"/pool/b", "b"}, {"/pool/c", "c"}, {"/pool/d", "d"}};
    for (int round = 0; round < 50; ++round)
        ASSERT_EQ(askTogether(volumes), (Answers{"a", "b", "c", "d"})) << "round " << round;
    gate->Open();
    std::optional<std::string> again;
    for (const auto bound = std::chrono::steady_clock::now() + 60s;
         !again && std::chrono::steady_clock::now() < bound; std::this_thread::yield())
        again = platform::AskVolumes<std::string>({{"/pool/dead", "dead"}}, held, 10s)[0];
    EXPECT_EQ(again, "dead");
    // A question that fails goes unanswered, and its volume is asked again.
    auto failing = [](const platform::Volume&) -> std::string { throw std::bad_alloc(); };
    EXPECT_EQ(platform::AskVolumes<std::string>({{"/pool/a", "a"}}, failing, 10s), (Answers{{}}));
    EXPECT_EQ(askTogether({{"/pool/a", "a"}}), (Answers{"a"}));
    // A child of fork, whose parent has threads waiting and a question
    // still open, has its questions answered all the same, that volume's too.
    auto stillHeld = std::make_shared<Gate>();
    const auto heldToo = heldAt(stillHeld);
    EXPECT_EQ(platform::AskVolumes<std::string>({{"/pool/held", "held"}}, heldToo, 100ms),
              (Answers{{}}));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool answered = askTogether(volumes) == Answers{"a", "b", "c", "d"} &&
                              askTogether({{"/pool/held", "held"}}) == Answers{"held"};
        ::_exit(answered ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    stillHeld->Open();
}

} // namespace
