#pragma once
// A main window over the media of one temporary volume ("vol"), with helpers
// to select a media file and read the information panel.

#include "app/mainwindow.h"

#include "support/logcapture.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"
#include "widgets/sortablelistview.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

class PanelFixture : public ::testing::Test {
protected:
    using Rows = std::vector<std::pair<std::string, std::string>>;

    // Selects the one media file of that name.
    void select(const std::string& name) {
        ListView& files = window.Lists().FileList();
        files.ClearSelection();
        const int row = files.FindText(name);
        ASSERT_GE(row, 0) << name;
        files.SetSelected(row, true);
    }
    // The information list's rows: label and text.
    Rows rows() {
        Rows out;
        ListView& info = window.Info().InfoList();
        for (int r = 0; r < info.RowCount(); ++r)
            out.push_back({info.Text(r, 0), info.Text(r, 1)});
        return out;
    }
    std::vector<std::string> labels() {
        std::vector<std::string> out;
        for (const auto& row : rows())
            out.push_back(row.first);
        return out;
    }

    TempDir dir;
    LogCapture log;
    ScriptedPrompter prompter;
    Services services{prompter, [this] {
                          return std::vector<platform::Volume>{{dir.file("vol"), "vol"}};
                      }};
    MainWindow window{services};
};
