#include "listener/record_status.h"
#include "queue/enqueue.h"
#include "store/report_logs.h"
#include "store/send_position.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

namespace {

class RecordStatus : public TempDirTest {};

// The record's recipients in the engine's order and indices, each with what its report line says, while
// the engine is in the middle of it (two of three done).
TEST_F(RecordStatus, RecipientsCarryTheEnginesIndicesAndTheirReportLines) {
    VirtualClock clock;
    EnqueueResult queued = enqueue_message("13900000001\r\n13900000002-13900000003\r\n*13900000004", "hi", true, clock);
    ASSERT_EQ(queued.status, EnqueueStatus::Queued);
    put_file(report_log_path("SUCC", queued.day), "1.2,6:00:00   13900000002    \x02hi   \r\r\n");
    put_file(report_log_path("FAIL", queued.day), "1.0,6:00:01   13900000001    \x02hi   \r\r\n");
    ASSERT_TRUE(write_send_position(queued.day, {queued.record, 2}));

    std::optional<nlohmann::json> status = record_status_json(queued.day, queued.record);
    ASSERT_TRUE(status);
    nlohmann::json recipients = (*status)["recipients"];
    ASSERT_EQ(recipients.size(), 3u) << status->dump();
    EXPECT_EQ(recipients[0]["to"], "13900000001");
    EXPECT_EQ(recipients[0]["index"], 0);
    EXPECT_EQ(recipients[0]["status"], "failed");
    EXPECT_EQ(recipients[1]["to"], "13900000002");
    EXPECT_EQ(recipients[1]["index"], 2);
    EXPECT_EQ(recipients[1]["status"], "sent");
    EXPECT_EQ(recipients[2]["to"], "13900000003");
    EXPECT_EQ(recipients[2]["index"], 3);
    EXPECT_EQ(recipients[2]["status"], "pending");
    EXPECT_FALSE((*status)["processed"]);
    EXPECT_EQ((*status)["text"], "hi");
    EXPECT_TRUE((*status)["english"]);
}

TEST_F(RecordStatus, ARecordNotQueuedIsNone) {
    VirtualClock clock;
    EnqueueResult queued = enqueue_message("13900000001", "hi", false, clock);
    ASSERT_EQ(queued.status, EnqueueStatus::Queued);
    EXPECT_FALSE(record_status_json(queued.day, queued.record + 1));
    EXPECT_FALSE(record_status_json("2001-01-01", 1));
}

} // namespace
