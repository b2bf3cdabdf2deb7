#include "feedback/log.h"
#include "feedback/prompter.h"
#include "support/logcapture.h"
#include "support/scriptedprompter.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using Lines = std::vector<std::string>;

TEST(Log, FormatsErrorsAndCutsLongLines) {
    LogCapture log;
    LogError(0, "/media/disk");
    LogError(ENOENT, "/media/disk");
    LogF("Found %d dup(s)", 3);
    LogF("%s", std::string(2000, 'x').c_str());
    Log(static_cast<const char*>(nullptr));
    EXPECT_EQ(log.lines(), (Lines{"/media/disk : failed with error 2: No such file or directory",
                                  "Found 3 dup(s)", std::string(1023, 'x'), ""}));
}

TEST(Log, WithoutASinkNothingIsWrittenAndTheSinkComesBack) {
    LogCapture outer;
    {
        LogCapture inner;
        Log("inner");
        EXPECT_EQ(CurrentLogSink(), &inner);
    }
    EXPECT_EQ(CurrentLogSink(), &outer);
    SetLogSink(nullptr);
    EXPECT_FALSE(LoggingOn());
    Log("lost");
    LogF("lost %d", 1);
    LogError(5, "lost");
    SetLogSink(&outer);
    Log("outer");
    EXPECT_EQ(outer.lines(), Lines{"outer"});
}

TEST(Prompter, FileOperationQuestionsMapToAnswers) {
    ScriptedPrompter prompter;
    PromptingFileOpUi ui(prompter);
    prompter.answer(MsgAnswer::Yes);
    prompter.answer(MsgAnswer::No);
    EXPECT_EQ(ui.confirm("Replace?", "Orrin"), platform::FileOpAnswer::Yes);
    EXPECT_EQ(ui.confirm("Replace?", "Orrin"), platform::FileOpAnswer::No);
    EXPECT_EQ(ui.confirm("Replace?", "Orrin"), platform::FileOpAnswer::Cancel); // script ran out
    ui.showError("Disk full", "Orrin");
    ASSERT_EQ(prompter.questions().size(), 4u);
    EXPECT_EQ(prompter.questions()[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(prompter.questions()[3].text, "Disk full");
    EXPECT_EQ(prompter.questions()[3].buttons, MsgButtons::Ok);
    EXPECT_EQ(prompter.questions()[3].icon, MsgIcon::Error);
}

} // namespace
