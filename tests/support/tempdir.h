#pragma once
// A temporary folder for one test, removed with everything in it afterwards.

#include <QTemporaryDir>

#include <string>

class TempDir {
public:
    TempDir() { m_dir.setAutoRemove(true); }
    std::string path() const { return m_dir.path().toStdString(); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

private:
    QTemporaryDir m_dir;
};
