#pragma once

#include <functional>
#include <string>
#include <string_view>

// The operator's side of the on-demand catalogue: add, modify, delete, look up and list query codes
// and their reply texts. Codes and texts are GBK as typed; a typed text holds CR LF line breaks, as a
// text box gives them. Operations that can refuse give back the message to show (GBK), empty when
// there is none.

// Whether a typed reply text fits a reply: at most 64 UTF-16 code units, line breaks (two units each)
// included.
bool reply_text_fits(std::string_view typed_gbk);
// A reply is stored on one line: every CR and every LF becomes a blank.
std::string reply_text_to_store(std::string_view typed_gbk);

// Stores a new code and raises the catalogue counter. An existing code is left as it is, silently. When a
// file cannot be written the message says so and the catalogue is left as it was.
[[nodiscard]] std::string catalogue_add(std::string_view code, std::string_view typed_text);
// Writes the code whether or not it existed; the counter does not move.
[[nodiscard]] std::string catalogue_modify(std::string_view code, std::string_view typed_text);
// Removes the code and lowers the counter, whether or not the code existed. When the counter cannot be
// written the code is gone all the same; deleting again lowers the counter and so completes it.
[[nodiscard]] std::string catalogue_delete(std::string_view code);

struct CatalogueLookUp {
    std::string text; // what the reply box shows: the stored reply or a no-such-information text
    // False when the marker entry look-up writes could not be written. The look-up itself still holds.
    bool marker_written = true;
};
[[nodiscard]] CatalogueLookUp catalogue_look_up(std::string_view code);

struct CatalogueRow {
    int number = 0; // the line number after the marker, blank lines counted
    std::string code;
    std::string text;
};

// The rows of the catalogue list in file order, each handed to `on_row`, which returns false to stop.
// A missing catalogue file gives no rows.
void catalogue_list(const std::function<bool(const CatalogueRow&)>& on_row);
