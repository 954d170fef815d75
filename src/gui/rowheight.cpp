#include "gui/rowheight.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <QTextOption>

#include <cmath>

#include "ui/twips.h"

namespace brevion {

int WrappedLineCount(const QFont& font, const QString& text, int widthPx)
{
    if (text.isEmpty())
        return 1;
    // The same wrapping as the grid's item views use to draw the cell.
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(widthPx > 1 ? widthPx : 1);
        ++lines;
    }
    layout.endLayout();
    return lines > 0 ? lines : 1;
}

int LineHeightTwips(const QFont& font)
{
    return static_cast<int>(std::lround(QFontMetricsF(font).height() * kTwipsPerPixel));
}

int FittedRowHeightTwips(const QFont& font, const QString& text, int widthPx)
{
    return WrappedLineCount(font, text, widthPx) * LineHeightTwips(font) + 60;
}

} // namespace brevion
