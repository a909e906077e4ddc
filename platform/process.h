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

// The folder of the running program's own executable ("" when it cannot be told).
std::string program_folder();

// Starts one of the gateway's own programs (`name`, such as "vmsms-listener") from the running
// program's folder, so the programs of one installation go together; when it is not there, the
// companion program at `fallback` as launch_companion does.
bool launch_bundled(const std::string& name, const std::string& fallback);

// Opens a text file in the desktop's editor: $VISUAL, then $EDITOR, then xdg-open.
bool open_in_text_editor(const std::string& path);

// Opens an address in the desktop's web browser (xdg-open).
bool open_url(const std::string& url);
