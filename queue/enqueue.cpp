#include "queue/enqueue.h"

#include "platform/gbk.h"
#include "store/content_size.h"
#include "store/recipients.h"
#include "store/spool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string enqueue_status_text(EnqueueStatus status) {
    switch (status) {
    case EnqueueStatus::Queued:
        return {};
    case EnqueueStatus::EmptyRecipients:
        return gbk("收信人不能为空！");
    case EnqueueStatus::EmptyContent:
        return gbk("收信内容不能为空！");
    case EnqueueStatus::ContentTooLong:
        return gbk("收信内容不能太多！");
    case EnqueueStatus::WriteFailed:
        return gbk("短信写入失败！");
    case EnqueueStatus::LockFailed:
        return gbk("无法锁定发送队列！");
    case EnqueueStatus::SharingFailed:
        return gbk("共享发送队列（数据库）没有收下这条短信，短信没有加入发送队列！");
    case EnqueueStatus::UnsafeRecipients:
        return gbk("收信人无效（通讯录中没有的客户类别、含非法字符的客户，或无效的号码段），短信没有加入发送队列！");
    case EnqueueStatus::TooManyRecipients:
        return too_many_recipients_text();
    case EnqueueStatus::ControlCharacters:
        return gbk("收信内容中有不能发送的控制字符，短信没有加入发送队列！");
    }
    return {};
}

std::string too_many_recipients_text() {
    return gbk("收信人太多：一条短信最多 ") + std::to_string(max_message_recipients) + gbk(" 个号码（号码段逐个计算）");
}

std::string enqueue_result_text(const EnqueueResult& result) {
    if (result.status == EnqueueStatus::UnsafeRecipients) {
        std::string text = enqueue_status_text(result.status);
        for (const std::string& line : result.refused) {
            text += "\r\n" + line;
        }
        return text;
    }
    if (result.status == EnqueueStatus::SharingFailed && !result.share_error.empty()) {
        return enqueue_status_text(result.status) + "\r\n" + result.share_error;
    }
    if (result.status != EnqueueStatus::LockFailed) {
        return enqueue_status_text(result.status);
    }
    // The path is built from the spool date and the reason is the C library's text: both are ASCII,
    // so they go into the GBK message as they are.
    std::string reason = result.lock_error == ETIMEDOUT ? gbk("另一个进程一直占用着它，等待后放弃")
                                                        : std::string(std::strerror(result.lock_error));
    return gbk("无法锁定发送队列（") + queue_lock_path(result.day) + gbk("）：") + reason;
}

EnqueueResult check_message(const std::string& recipients_box, const std::string& content_gbk, bool english,
                            bool long_messages) {
    EnqueueResult result;
    result.status = EnqueueStatus::Queued;
    if (recipients_box.empty()) {
        result.status = EnqueueStatus::EmptyRecipients;
    } else if (content_gbk.empty()) {
        result.status = EnqueueStatus::EmptyContent;
    } else if (content_has_control_bytes(content_gbk)) {
        result.status = EnqueueStatus::ControlCharacters;
    } else if (result.refused = refused_recipients(recipients_box); !result.refused.empty()) {
        result.status = EnqueueStatus::UnsafeRecipients;
    } else if (recipient_count(recipients_box) > max_message_recipients) {
        result.status = EnqueueStatus::TooManyRecipients;
    } else if (!content_fits(content_size(content_gbk, english), english, long_messages)) {
        // English that did not fit was once cut at 160 septets without a word; it is refused now.
        result.status = EnqueueStatus::ContentTooLong;
    }
    return result;
}

EnqueueResult enqueue_message(const std::string& recipients_box, const std::string& content_gbk, bool english,
                              Clock& clock, bool long_messages, const RecordShare& share,
                              std::chrono::milliseconds lock_wait) {
    LocalTime now = clock.now();
    EnqueueResult result;
    result.day = spool_date(now);
    ensure_day_dirs(result.day);
    EnqueueResult checked = check_message(recipients_box, content_gbk, english, long_messages);
    if (checked.status != EnqueueStatus::Queued) {
        checked.day = result.day;
        return checked;
    }
    long n = queue_outgoing_record(result.day, recipients_for_file(recipients_box), date_time_text(now),
                                   content_for_file(content_gbk, english), clock, &result.lock_error, share,
                                   &result.share_error, lock_wait);
    if (n > 0) {
        result.status = EnqueueStatus::Queued;
        result.record = n;
    } else if (n == record_not_shared) {
        result.status = EnqueueStatus::SharingFailed;
    } else {
        result.status = n == queue_not_locked ? EnqueueStatus::LockFailed : EnqueueStatus::WriteFailed;
    }
    return result;
}
