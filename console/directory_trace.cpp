#include "console/directory_trace.h"

#include "directory/category_lists.h"
#include "store/customer_files.h"

#include <QtGlobal>

void traceMarkerNotWritten(const char* path) {
    qWarning("vmsms: the marker entry of %s could not be written", path);
}

std::vector<std::string> categoryTreeNames() {
    CategoryTree tree = category_tree_names();
    if (!tree.marker_written) {
        traceMarkerNotWritten(category_index_file);
    }
    return std::move(tree.names);
}
