#include "console/support/work_dir_test_case.h"

#include <QTest>

void WorkDirTestCase::init() {
    work_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(work_->valid());
}

void WorkDirTestCase::cleanup() {
    work_.reset();
}
