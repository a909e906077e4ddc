#include "engine/outgoing/optout_check.h"

#include "store/optout_answers.h"
#include "store/phone_number.h"

namespace {

OptOutCheck& check_for(EngineContext& ctx, long record) {
    std::shared_ptr<OptOutCheck>& check = ctx.state.content.optout;
    if (check && check->day == ctx.state.spool_date && check->record == record) {
        return *check;
    }
    check = std::make_shared<OptOutCheck>();
    check->day = ctx.state.spool_date;
    check->record = record;
    check->country = home_country();
    check->list = read_optout_list();
    if (!check->list) {
        tracef(ctx.logs, "%s cannot be read: record %ld is held back from every recipient\n", optout_path, record);
    } else if (check->list->skipped > 0) {
        tracef(ctx.logs, "%s: %zu unreadable lines left out\n", optout_path, check->list->skipped);
    }
    return *check;
}

} // namespace

const char* optout_refusal(EngineContext& ctx, const std::string& phone, long record) {
    OptOutCheck& check = check_for(ctx, record);
    if (check.list && !check.list->holds(phone, check.country)) {
        return nullptr;
    }
    if (!check.answer) {
        check.answer = read_optout_answers(check.day).count(record) > 0;
    }
    if (*check.answer) {
        tracef(ctx.logs, "a reply to a number on the opt-out list, sent=[%s]\n", phone.c_str());
        return nullptr;
    }
    tracef(ctx.logs, "opted out, not sent=[%s]\n", phone.c_str());
    return check.list ? "已退订" : "退订名单无法读取";
}
