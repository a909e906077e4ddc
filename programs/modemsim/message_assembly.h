#pragma once

#include "modemsim/submission_log.h"

#include <string>
#include <vector>

// The messages the network took, put back together from their parts: one line for each destination
// and concatenation reference (and count), in the order their first parts came, a message sent in
// one piece standing alone:
//   message to=<number> ref=<reference|-> parts=<received>/<count> complete=<yes|no> text=<UTF-8>
// Only accepted submissions count. The text joins the parts received in sequence order; a part sent
// again counts once, as first received. The text is last and escaped so that it stays on its line.
std::vector<std::string> assembled_messages(const std::vector<Submission>& submissions);
