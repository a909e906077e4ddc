#pragma once

#include <QString>
#include <QStringList>

// The modem's settings the settings tab keeps beside the port: the SIM's PIN (PIN), a service centre in
// international form (SMSC), extra start-up commands (INIT) and the home country code (COUNTRY). They
// are checked with the engine's own rules before any of them is saved, so the engine never finds one
// it would refuse.

struct FieldSettings {
    QString pin;
    QString smsc;
    QString init;
    QString country;
};

// What server.txt holds, an absent key as empty (the engine's default then holds).
FieldSettings read_field_settings();

// Why the operator's values cannot be saved, one line each; empty when all four may be saved. Blanks
// around a value do not count. A PIN never appears in a line.
QStringList field_settings_problems(const FieldSettings& values);

// Saves the four values, blanks around them dropped; an empty one removes its key. A PIN leaves
// server.txt readable by its owner alone. Returns the keys that could not be written.
QStringList write_field_settings(const FieldSettings& values);
