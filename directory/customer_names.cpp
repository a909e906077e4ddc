#include "directory/customer_names.h"

#include "platform/gbk.h"
#include "store/customer_files.h"

bool usable_category_file(std::string_view file_gbk) {
    return usable_category_name(file_gbk) && file_gbk.find('/') == std::string_view::npos;
}

std::string data_missing_message() {
    return gbk("数据不能为空,请检查。");
}
