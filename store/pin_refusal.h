#pragma once

#include <string>

// ./pin-refused.txt: the SIM refused the PIN of server.txt as server.txt stood then. An engine that
// starts again (by hand, or by a supervisor that restarts it) does not enter that PIN again, since the
// SIM's third wrong try locks it behind its PUK; once server.txt has been changed (a new PIN written)
// the note no longer holds. The note holds the server.txt file's identity and time of change, never
// the PIN.

inline constexpr const char* pin_refusal_path = "pin-refused.txt";

// Notes the refusal of server.txt as it stands now; false when the note cannot be written.
[[nodiscard]] bool note_pin_refused();
// Whether the PIN of server.txt as it stands now was refused before.
bool pin_refused_before();
// Forgets the note (the SIM took a PIN); false when a note is there and cannot be removed.
[[nodiscard]] bool forget_pin_refusal();
