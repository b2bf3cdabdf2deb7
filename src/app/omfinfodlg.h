#pragma once
// The OMF information window: the object graph of one container as a tree,
// a file chosen with "open" or given when the window is made.

#include "app/services.h"
#include "omf/omfreader.h"
#include "widgets/templatedialog.h"

#include <string>

class QTreeWidget;
struct OmfTreeItem;

class OmfInfoDlg : public TemplateDialog {
    Q_OBJECT

public:
    OmfInfoDlg(Services& services, std::string path, QWidget* parent = nullptr);

    // Builds the window and, when a path was given, its tree.
    bool Create();
    // Shows the tree of a file; false (and an empty tree) when it is no
    // container.
    bool BuildTree(const std::string& path);
    void OnCommand(int id) override;

    QTreeWidget& Tree() const;

private:
    Services& m_services;
    std::string m_path;
    OmfReader m_reader;
};
