#pragma once

#include "engine/engine_context.h"
#include "modem/storage_answers.h"

#include <optional>
#include <string>
#include <vector>

// The modem's message storages in the responsive mode: which are read and which one receives
// (AT+CPMS), and a storage the modem says is full.

// The storages chosen from what a modem offers: the SIM ("SM") and the phone's memory ("ME") are read,
// those of them it offers, else the first storage it offers; the phone's memory receives when it may,
// as it is the larger, else the SIM, else the first storage offered.
struct StorageChoice {
    std::vector<std::string> read;
    std::string receive;
};
StorageChoice choose_storages(const OfferedStorages& offered);

// Whether storages were chosen since the port was last opened; the choice is forgotten when the port is
// opened again, as the modem may have lost its settings.
bool storages_chosen(const EngineContext& ctx);

// Responsive mode, once after every opening of the port: asks the modem which storages it offers
// ("AT+CPMS=?") and selects the chosen ones. A modem that offers none, or refuses them, is listed as it
// is, without AT+CPMS. Nothing is sent with fixed waits.
void sync_storages(EngineContext& ctx);

// Selects `storage` for reading, the storage after it in the pass (`next`, which AT+CPMS takes as its
// second storage, so its counts come with the same answer) and the receiving one. The counts of the
// three as the modem gave them; nullopt when it refused or the link went down.
std::optional<std::vector<StorageCounts>> select_storage(EngineContext& ctx, const std::string& storage,
                                                         const std::string& next);

// Notes a full storage that the text (an answer, or what the modem sent unasked) tells of.
void note_storage_notices(EngineContext& ctx, const std::string& text);
