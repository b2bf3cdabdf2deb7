// The list views at scale, offscreen: a catalog of 100,000 media files in one
// project, and of 1,000,000 in 100 projects. Times selecting the projects
// (which fills the media file list), sorting by Size and by Media File,
// Ctrl+A, and unselecting the projects.

#include "app/mainwindow.h"
#include "app/mylistctrl.h"
#include "platform/volumes.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

double timed(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    QCoreApplication::processEvents();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void fill(MediaCatalog& catalog, int files, int projects) {
    MediaRecord r{};
    for (int i = 0; i < files; ++i) {
        std::memset(&r, 0, sizeof r);
        std::snprintf(r.projectName, sizeof r.projectName, "Project %03d", i % projects);
        std::snprintf(r.fileName, sizeof r.fileName, "A%07dV1_%04X.omf", i, (i * 7919) & 0xFFFF);
        std::snprintf(r.folder, sizeof r.folder, "/media/user/MEDIA/OMFI MediaFiles/%d",
                      i / 5000 + 1);
        r.fileNameLength = static_cast<std::uint32_t>(std::strlen(r.fileName));
        r.size = static_cast<std::uint64_t>((i * 2654435761u) % 50000000u);
        r.creationTime = 128000000000000000ull + static_cast<std::uint64_t>(i) * 10000000ull;
        r.compressionCode = 75;
        catalog.AddRecord(r, true);
    }
    catalog.RebuildFileArray();
}

void run(int files, int projects) {
    MainWindow window;
    window.Initialise();
    window.show();
    fill(window.Catalog(), files, projects);
    window.FillProjectList();
    window.FillSummaryList();
    myCListCtrl& projectsList = window.ProjectList();
    myCListCtrl& filesList = window.FileList();
    std::printf("%d files in %d project(s):\n", files, projects);
    std::printf("  select the project(s), filling the list: %.3f s\n",
                timed([&] { window.SelectAllRows(projectsList); }));
    std::printf("  rows in the media file list: %d\n", filesList.RowCount());
    std::printf("  sort by Size: %.3f s\n", timed([&] { window.SortList(filesList, 1); }));
    std::printf("  sort by Media File: %.3f s\n", timed([&] { window.SortList(filesList, 0); }));
    const double selectAll = timed([&] { window.SelectAllRows(filesList); });
    std::printf("  Ctrl+A: %.3f s (%d selected)\n", selectAll, filesList.SelectedCount());
    const double unselect = timed([&] { projectsList.ClearSelection(); });
    std::printf("  unselect the project(s): %.3f s (%d rows left)\n", unselect,
                filesList.RowCount());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::SetVolumeSource([] { return std::vector<platform::Volume>{}; });
    run(100000, 1);
    run(1000000, 100);
    return 0;
}
