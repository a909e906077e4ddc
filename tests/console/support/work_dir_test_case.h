#pragma once

#include "console/support/scoped_work_dir.h"

#include <QObject>

#include <memory>

// A Qt test case whose test functions each run in a fresh working directory of their own. A case that
// builds more around each test function keeps a ScopedWorkDir in its own init() instead.
class WorkDirTestCase : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

private:
    std::unique_ptr<ScopedWorkDir> work_;
};
