#include "console/limited_text_box.h"

#include "console/qt_text.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

namespace {

// Length as a Windows box counts it: a line break is CR LF, two characters.
int boxLength(const QString& text) {
    int n = 0;
    for (QChar c : text) {
        n += (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator) ? 2 : 1;
    }
    return n;
}

// The longest start of `text` that fits into `room`, line breaks counting two.
QString fitting(const QString& text, int room) {
    int used = 0;
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        int w = text[i] == QLatin1Char('\n') ? 2 : 1;
        if (used + w > room) {
            break;
        }
        used += w;
    }
    return text.left(i);
}

bool insertsLineBreak(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// A tab is text only in a box that keeps it; elsewhere it moves the focus and must not be stopped.
bool insertsText(const QKeyEvent* event, bool keeps_tabs) {
    const QString text = event->text();
    if (text.isEmpty()) {
        return false;
    }
    return text[0] == QLatin1Char('\t') ? keeps_tabs : text[0].isPrint();
}

} // namespace

LimitedTextBox::LimitedTextBox(int max_length, QWidget* parent) : QPlainTextEdit(parent), max_length_(max_length) {}

int LimitedTextBox::room() const {
    int selected = boxLength(textCursor().selectedText());
    return max_length_ - (boxLength(box_text(this)) - selected);
}

void LimitedTextBox::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && !event->matches(QKeySequence::Paste)) {
        int adds = 0;
        if (insertsLineBreak(event)) {
            adds = 2;
        } else if (insertsText(event, !tabChangesFocus())) {
            adds = boxLength(event->text());
        }
        if (adds > 0 && adds > room()) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextBox::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    int space = room();
    if (boxLength(commit) <= space) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent cut(event->preeditString(), event->attributes());
    cut.setCommitString(fitting(commit, qMax(space, 0)), event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&cut);
}

void LimitedTextBox::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString part = fitting(text, qMax(room(), 0));
    if (part.size() < text.size()) {
        QApplication::beep();
    }
    textCursor().insertText(part);
    ensureCursorVisible();
}
