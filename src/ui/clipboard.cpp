#include "ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

void copyPlain(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(text);
    }
}
