#include "directory/write_failure.h"

#include "platform/gbk.h"

std::string write_failed_message() {
    return gbk("数据写入失败，请检查磁盘空间和文件权限。");
}
