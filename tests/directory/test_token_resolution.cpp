#include "directory/address_book_tokens.h"
#include "directory/category_lists.h"
#include "directory/customer_editor.h"
#include "engine/outgoing/submission.h"
#include "platform/gbk.h"
#include "support/memory_trace.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

class TokenResolution : public TempDirTest {
protected:
    MemoryTrace trace;
    CategoryRecord record;
};

TEST_F(TokenResolution, PickedCustomerIsSentToItsNumber) {
    const std::string category = gbk("客户");
    ASSERT_EQ(customer_add(record, {category, gbk("张三"), "13912345678", ""}), "");
    ASSERT_EQ(customer_add(record, {category, "Ann", "13800000001", ""}), "");
    std::vector<std::string> names = choose_address_book_category(record, category);
    ASSERT_EQ(names.size(), 2u);

    std::string box;
    for (const std::string& name : names) {
        box = pick_customer(box, customer_token(category, name)).value();
    }
    // The box is one line of two tokens; queued, each ';' that does not end a line starts a new one.
    std::string first = box.substr(0, box.find(';') + 1);
    std::string second = box.substr(first.size());
    EXPECT_EQ(resolve_recipient(first, trace).phone, "13912345678");
    EXPECT_EQ(resolve_recipient(second, trace).phone, "13800000001");
}

TEST_F(TokenResolution, CleanedNamesResolveUnderTheirStoredForm) {
    ASSERT_EQ(customer_add(record, {"Sh/op", "A:nn", "13800000001", ""}), "");
    std::vector<std::string> names = choose_address_book_category(record, "Shop");
    ASSERT_EQ(names, std::vector<std::string>{"Ann"});
    EXPECT_EQ(resolve_recipient(customer_token("Shop", "Ann") + ";", trace).phone, "13800000001");
}

TEST_F(TokenResolution, OneChineseCharacterIsLongEnough) {
    // Two bytes in GBK pass the two-byte test of every box.
    ASSERT_EQ(customer_add(record, {gbk("客"), gbk("张"), "13", ""}), "");
    EXPECT_EQ(resolve_recipient(customer_token(gbk("客"), gbk("张")), trace).phone, "13");
}

} // namespace
