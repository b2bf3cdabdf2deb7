#include "app/application.h"

#include "feedback/log.h"
#include "resources/dialogtemplate.h"
#include "support/scriptedprompter.h"
#include "widgets/debugconsole.h"

#include <gtest/gtest.h>

namespace {

TEST(StartUp, WritesTheBannerIntoAHiddenConsole) {
    ScriptedPrompter prompter;
    Services services{prompter};
    Application app(services);
    app.StartConsole(res::IDD_CONSOLE);
    DebugConsole* console = services.console;
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(CurrentLogSink(), console);
    EXPECT_FALSE(console->isVisible());
    const std::string hyphens(42, '-');
    std::vector<std::string> lines;
    for (int i = 0; i < console->LineCount(); ++i)
        lines.push_back(console->Line(i));
    EXPECT_EQ(lines, (std::vector<std::string>{"Tolvane for AVID applications", "ver. 0.2", hyphens,
                                               "by the Tolvane developers", hyphens}));
    app.StopConsole();
    EXPECT_EQ(services.console, nullptr);
    EXPECT_FALSE(LoggingOn());
    Log("after exit"); // must do nothing
    EXPECT_TRUE(prompter.questions().empty());
}

TEST(StartUp, AConsoleThatCannotBeCreatedSwitchesLoggingOff) {
    ScriptedPrompter prompter;
    Services services{prompter};
    Application app(services);
    app.StartConsole(4242);
    EXPECT_EQ(services.console, nullptr);
    EXPECT_FALSE(LoggingOn());
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "Error creating Console");
    EXPECT_EQ(prompter.questions()[0].buttons, MsgButtons::Ok);
    Log("nothing");
}

} // namespace
