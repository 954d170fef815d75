#pragma once

#include <QString>

class QFont;

namespace brevion {

// The measurement behind fitting a grid row to its wrapped text: the number of lines text wraps
// to at word boundaries within widthPx in font (at least one, also for the empty text), and the
// row height that shows them, lines x line height + 60 twips.
int WrappedLineCount(const QFont& font, const QString& text, int widthPx);
int LineHeightTwips(const QFont& font);
int FittedRowHeightTwips(const QFont& font, const QString& text, int widthPx);

} // namespace brevion
