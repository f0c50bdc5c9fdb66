#pragma once
// What the report pictures paint alike: a white picture with its painter and base font,
// the lines of the title block, the hours along a time axis, the legend beside the chart
// with its sky, and the PNG file. Needs a QGuiApplication (any platform, offscreen
// included) for its text.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <functional>
#include <string>

namespace np {

class ChartPainter {
 public:
  // A white picture of the given size, painted in DejaVu Sans of `fontPixels` pixels.
  ChartPainter(int width, int height, int fontPixels);
  ChartPainter(const ChartPainter&) = delete;
  ChartPainter& operator=(const ChartPainter&) = delete;

  QPainter& painter() { return p_; }
  const QFont& font() const { return font_; }
  int width() const { return image_.width(); }

  // A line of the title block in black, its baseline beginning at `at`, in the base font
  // at `pixelSize` (bold or not), cut short with an ellipsis beyond `maxWidth` (0: never);
  // the base font again afterwards.
  void headline(QPointF at, const QString& text, int pixelSize, bool bold, int maxWidth = 0);

  // An hour's label ("HH:00") centred on `x`, in the 18-pixel-high box whose top is at
  // `top`, against that box's top or bottom (`vertical`), in the pen and font as they are.
  void hourLabel(double x, double top, int hourOfDay, Qt::Alignment vertical);

  // Ends the painting and gives the picture.
  QImage finish();

 private:
  QImage image_;
  QPainter p_;
  QFont font_;
};

// The hour of the day (0 to 23) of a local hour counted from any midnight.
int hourOfDay(double localHour);

// How a legend sets out its lines.
struct LegendStyle {
  double row = 20;         // from one line's baseline to the next
  double gap = 8;          // the space that parts two groups of lines
  QPen swatchPen;          // around a swatch
  QPointF swatchAt;        // a swatch's top left from the line's start and baseline
  double width = 0;        // texts are cut short with an ellipsis beyond it (0: never)
};

// The legend, line by line from its top left, each line's text in black; a swatch or a
// line sample goes before the text, which is then indented. Without a painter it paints
// nothing and only measures.
class Legend {
 public:
  static constexpr double kIndent = 30;

  Legend(QPainter* painter, const QFont& font, QPointF at, const LegendStyle& style);

  void heading(const QString& text);
  // `text` from the left edge, or indented.
  void text(const QString& text, double indent = kIndent);
  // A box of `fill`, then the text (when cut short, `suffix` is kept whole).
  void swatch(const QColor& fill, const QString& text, const QString& suffix = {});
  // A white box with `pattern` over it, then the text.
  void patternSwatch(const QBrush& pattern, const QString& text);
  // A short line in `pen`, then the text.
  void line(const QPen& pen, const QString& text);
  // A note of up to two lines, wrapped within `width`.
  void note(const QString& text, double width);
  void gap();

  // The legend's height from its first line to where the next line would go.
  double height() const { return y_ - top_; }

 private:
  QRectF swatchBox() const;
  void write(const QString& text, double indent, bool bold, const QString& suffix = {});

  QPainter* p_;
  QFont font_;
  LegendStyle style_;
  double x_, y_, top_;
};

// The legend's sky: its heading, then day, twilight and dark with the dusk elevation as
// `sunElev` reads.
void skyLegend(Legend& legend, const QString& sunElev);

// Draws the picture and saves it as PNG at `path`; false with `error` set when `path`
// names another format (nothing is drawn) or the file cannot be written.
bool savePicture(const std::function<QImage()>& draw, const std::string& path, std::string& error);

}  // namespace np
