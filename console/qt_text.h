#pragma once

#include <QString>

#include <optional>
#include <string>

class QPlainTextEdit;

// The console's edge between Qt's text and the core's GBK byte strings.

// GBK bytes as a QString; bytes GBK cannot read show as '?'.
QString from_gbk(const std::string& gbk_text);
// A QString as GBK bytes, or nullopt when some character has no GBK form.
std::optional<std::string> to_gbk(const QString& text);
// A QString as GBK bytes, each character GBK lacks as '?'.
std::string to_gbk_lossy(const QString& text);

// A multi-line box's text as a Windows text box holds it: CR LF between lines.
QString box_text(const QPlainTextEdit* box);
// Puts text into a multi-line box; CR LF (and lone LF) show as line breaks.
void set_box_text(QPlainTextEdit* box, const QString& text);
