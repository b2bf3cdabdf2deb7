#include "app/application.h"

#include "feedback/log.h"
#include "feedback/orrinconsole.h"
#include "resources/dialogtemplate.h"
#include "support/scriptedprompter.h"

#include <gtest/gtest.h>

namespace {

TEST(StartUp, WritesTheBannerIntoAHiddenConsole) {
    ScriptedPrompter prompter;
    Application app;
    app.StartConsole(res::IDD_CONSOLE);
    ASSERT_NE(g_console, nullptr);
    EXPECT_EQ(g_consoleEnabled, 1);
    EXPECT_FALSE(g_console->isVisible());
    const std::string hyphens(42, '-');
    std::vector<std::string> lines;
    for (int i = 0; i < g_console->lineCount(); ++i)
        lines.push_back(g_console->line(i));
    EXPECT_EQ(lines, (std::vector<std::string>{"Tolvane for AVID applications", "ver. 0.2", hyphens,
                                               "by the Tolvane developers", hyphens}));
    app.StopConsole();
    EXPECT_EQ(g_console, nullptr);
    EXPECT_EQ(g_consoleEnabled, 1);
    Log("after exit"); // must do nothing
    EXPECT_TRUE(prompter.questions().empty());
}

TEST(StartUp, AConsoleThatCannotBeCreatedSwitchesLoggingOff) {
    ScriptedPrompter prompter;
    Application app;
    app.StartConsole(4242);
    EXPECT_EQ(g_console, nullptr);
    EXPECT_EQ(g_consoleEnabled, 0);
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "Error creating Console");
    EXPECT_EQ(prompter.questions()[0].buttons, MsgButtons::Ok);
    Log("nothing");
}

} // namespace
