#include "app/storedlg.h"

#include "builders/mediafolder.h"
#include "resources/dialogtemplate.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <QCheckBox>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

class StoreDlgTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create()); }
    QLineEdit& edit() { return *dialog.ControlAs<QLineEdit>(res::IDC_STORE_TARGET); }
    QCheckBox& box(int id) { return *dialog.ControlAs<QCheckBox>(id); }
    void store(const std::string& target) {
        edit().setText(QString::fromStdString(target));
        dialog.OnCommand(res::IDOK);
    }

    TempDir dir;
    ScriptedPrompter prompter;
    StoreDlg dialog{prompter};
};

TEST_F(StoreDlgTest, OpensEmptyAndRefusesRelativeAndLongTargets) {
    EXPECT_TRUE(edit().text().isEmpty());
    for (int id : {res::IDC_STORE_RELATIVE, res::IDC_STORE_MOVE, res::IDC_STORE_BY_TYPE,
                   res::IDC_STORE_DRIVE})
        EXPECT_FALSE(box(id).isChecked());
    store("");
    EXPECT_EQ(edit().text().toStdString(), "Please enter absolute path!");
    dialog.OnCommand(res::IDOK); // that text is no absolute path either
    EXPECT_EQ(edit().text().toStdString(), "Please enter absolute path!");
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_TRUE(prompter.questions().empty());

    store("/" + std::string(100, 'x'));
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "The path is too long for store....");
    EXPECT_EQ(prompter.questions()[0].caption, "Orrin");
    EXPECT_EQ(dialog.result(), 0);
    // Characters count, not their bytes: 100 accented ones are within it.
    std::string accented = dir.file("");
    while (QString::fromStdString(accented).size() < 100)
        accented += "\u00e9";
    prompter.answer(MsgAnswer::Yes);
    store(accented);
    EXPECT_EQ(prompter.questions().back().text,
              "Target folder does not exist\nwould you like to create it?");
}

TEST_F(StoreDlgTest, CreatesAMissingTargetOnRequest) {
    std::string target = dir.file("a/b/c");
    target += std::string(100 - target.size() - 1, 'z') + "/"; // 100 characters
    ASSERT_EQ(target.size(), 100u);
    prompter.answer(MsgAnswer::No);
    store(target);
    EXPECT_EQ(prompter.questions().back().text,
              "Target folder does not exist\nwould you like to create it?");
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(dialog.result(), 0);
    prompter.answer(MsgAnswer::Yes);
    store(target);
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Options().target, target.substr(0, 99)); // without the trailing slash
}

TEST_F(StoreDlgTest, AFolderThatCannotBeMadeKeepsTheDialogOpen) {
    MakeFile(dir.file("file"));
    prompter.answer(MsgAnswer::Yes);
    store(dir.file("file/sub"));
    EXPECT_EQ(prompter.questions().back().text, "The path may contain an invalid entry.");
    EXPECT_EQ(dialog.result(), 0);
    // An existing file is no target folder: said once, here.
    store(dir.file("file"));
    EXPECT_EQ(prompter.questions().back().text, dir.file("file") + " is not a folder");
    EXPECT_EQ(dialog.result(), 0);
    store("/"); // the root exists and keeps its slash
    EXPECT_EQ(dialog.Options().target, "/");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(StoreDlgTest, TheBoxesFollowTheirClickRules) {
    auto click = [&](int id) { box(id).click(); };
    click(res::IDC_STORE_DRIVE);
    EXPECT_TRUE(box(res::IDC_STORE_RELATIVE).isChecked());
    click(res::IDC_STORE_DRIVE);
    EXPECT_FALSE(box(res::IDC_STORE_RELATIVE).isChecked());
    click(res::IDC_STORE_DRIVE);
    click(res::IDC_STORE_BY_TYPE);
    EXPECT_FALSE(box(res::IDC_STORE_RELATIVE).isChecked());
    EXPECT_FALSE(box(res::IDC_STORE_DRIVE).isChecked());
    click(res::IDC_STORE_RELATIVE);
    EXPECT_FALSE(box(res::IDC_STORE_BY_TYPE).isChecked());
    click(res::IDC_STORE_MOVE);
    prompter.choose(dir.path());
    dialog.OnCommand(res::IDC_STORE_SELECT);
    EXPECT_EQ(edit().text().toStdString(), dir.path());
    dialog.OnCommand(res::IDOK);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.Options().moveFiles);
    EXPECT_TRUE(dialog.Options().relativePaths);
    EXPECT_FALSE(dialog.Options().separateByType);
    EXPECT_FALSE(dialog.Options().addDriveLetter);
}

} // namespace
