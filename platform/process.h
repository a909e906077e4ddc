#pragma once

#include <string>
#include <vector>

// Starts a program detached from this process (its own session, no wait, no inherited terminal), in
// the current working directory. `program` is a path or a name looked up in PATH. Returns false when
// it could not be started.
bool launch_detached(const std::string& program, const std::vector<std::string>& args = {});

// Starts a companion program given by a path such as "./numgen.exe": the path as given when it names
// an executable file, else the same path without ".exe".
bool launch_companion(const std::string& path);

// Opens a text file in the desktop's editor: $VISUAL, then $EDITOR, then xdg-open.
bool open_in_text_editor(const std::string& path);

// Opens an address in the desktop's web browser (xdg-open).
bool open_url(const std::string& url);
