#pragma once
// A label of plain text in one font and colour: the titles, details and
// notes of the settings controls and panes. Text is never read as markup.

#include <QColor>
#include <QFont>
#include <QLabel>

namespace TextLabel {

// One line, or wrapping onto as many lines as it needs (never cut).
QLabel* make(const QString& text, const QFont& font, const QColor& color, bool wrap = false,
             QWidget* parent = nullptr);
void setColor(QLabel* label, const QColor& color);

} // namespace TextLabel
