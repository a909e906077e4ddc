#include "support/hostile_input.h"

#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

HostileTable load_table() {
    std::ifstream file(std::string(VMSMS_TEST_SUPPORT_DIR) + "/hostile_input.json");
    nlohmann::json json = nlohmann::json::parse(file);
    HostileTable table;
    table.good_to = json["good"]["to"].get<std::vector<std::string>>();
    table.good_text = json["good"]["text"].get<std::string>();
    for (const auto& c : json["refused"]) {
        table.refused.push_back({c["name"].get<std::string>(), c["to"].get<std::vector<std::string>>(),
                                 c.value("text", std::string("hello")), c["field"].get<std::string>(),
                                 c["kind"].get<std::string>()});
    }
    return table;
}

} // namespace

const HostileTable& hostile_table() {
    static const HostileTable table = load_table();
    return table;
}

void make_hostile_directory() {
    put_file("cust/custindex", gbk("[cust]\r\n000000=222222\r\n客户=客户\r\n管道=管道\r\n设备=设备\r\n外链=外链\r\n"));
    put_file("cust/客户", gbk("[cust]\r\n000000=222222\r\n采购部=13900000009\r\n"));
    ::mkfifo("cust/管道", 0600);
    std::filesystem::create_symlink("/dev/zero", "cust/设备");
    std::filesystem::create_symlink("/etc/passwd", "cust/外链");
    ::mkfifo("fifo", 0600);
}

std::string hostile_box(const std::vector<std::string>& to_utf8) {
    std::string box;
    for (const std::string& line : to_utf8) {
        box += (box.empty() ? "" : "\r\n") + gbk(line);
    }
    return box;
}
