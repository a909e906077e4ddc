#include "console/qt_text.h"

#include "platform/gbk.h"

#include <QPlainTextEdit>

QString from_gbk(const std::string& gbk_text) {
    return QString::fromStdString(gbk_to_utf8_lossy(gbk_text));
}

std::optional<std::string> to_gbk(const QString& text) {
    return utf8_to_gbk(text.toStdString());
}

std::string to_gbk_lossy(const QString& text) {
    std::u16string units(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    return utf16_to_gbk_lossy(units);
}

QString box_text(const QPlainTextEdit* box) {
    QString text = box->toPlainText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar::ParagraphSeparator, QChar('\n'));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

void set_box_text(QPlainTextEdit* box, const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box->setPlainText(plain);
}
