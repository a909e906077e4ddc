#pragma once

#include <string>
#include <vector>

// The console's trace of directory writes the operator is not stopped for: the marker entry the category
// trees and the look-ups write before they read. Their reads hold without it, so no box interrupts the
// operator, but the failure is not passed over either: a line goes to Qt's warning output (standard
// error, or the journal when the desktop started the console). Safe on any thread.
void traceMarkerNotWritten(const char* path);

// The names the two category trees show (GBK), a marker the index could not take traced.
std::vector<std::string> categoryTreeNames();
