#pragma once

#include <string>

// Creates one directory; an existing directory, or any other failure, is ignored.
void make_dir(const std::string& path);

bool file_exists(const std::string& path);

// Deletes a file; a missing file is no error. Returns whether the file is gone.
bool remove_file(const std::string& path);
