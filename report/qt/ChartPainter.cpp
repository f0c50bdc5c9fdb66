#include "report/qt/ChartPainter.h"

#include <QFontMetrics>
#include <cmath>

#include "report/ReportPictureModule.h"
#include "report/qt/PictureColours.h"

namespace np {

ChartPainter::ChartPainter(int width, int height, int fontPixels)
    : image_(width, height, QImage::Format_ARGB32_Premultiplied), font_("DejaVu Sans") {
  image_.fill(Qt::white);
  p_.begin(&image_);
  font_.setPixelSize(fontPixels);
  p_.setFont(font_);
}

void ChartPainter::headline(QPointF at, const QString& text, int pixelSize, bool bold, int maxWidth) {
  QFont f = font_;
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  p_.setFont(f);
  p_.setPen(Qt::black);
  p_.drawText(at, maxWidth > 0 ? QFontMetrics(f).elidedText(text, Qt::ElideRight, maxWidth) : text);
  p_.setFont(font_);
}

void ChartPainter::hourLabel(double x, double top, int hourOfDay, Qt::Alignment vertical) {
  p_.drawText(QRectF(x - 30, top, 60, 18), Qt::AlignHCenter | vertical,
              QString("%1:00").arg(hourOfDay, 2, 10, QChar('0')));
}

QImage ChartPainter::finish() {
  p_.end();
  return image_;
}

int hourOfDay(double localHour) { return static_cast<int>(std::fmod(std::fmod(localHour, 24.0) + 24.0, 24.0)); }

Legend::Legend(QPainter* painter, const QFont& font, QPointF at, const LegendStyle& style)
    : p_(painter), font_(font), style_(style), x_(at.x()), y_(at.y()), top_(at.y()) {}

void Legend::write(const QString& text, double indent, bool bold, const QString& suffix) {
  if (p_) {
    QFont f = font_;
    f.setBold(bold);
    p_->setFont(f);
    p_->setPen(Qt::black);
    QString shown = text;
    if (style_.width > 0) {
      const double room = style_.width - indent - QFontMetrics(font_).horizontalAdvance(suffix);
      shown = QFontMetrics(f).elidedText(text, Qt::ElideRight, static_cast<int>(room));
    }
    p_->drawText(QPointF(x_ + indent, y_), shown + suffix);
    p_->setFont(font_);
  }
  y_ += style_.row;
}

void Legend::heading(const QString& text) { write(text, 0, true); }

void Legend::text(const QString& text, double indent) { write(text, indent, false); }

QRectF Legend::swatchBox() const { return QRectF(x_ + style_.swatchAt.x(), y_ + style_.swatchAt.y(), 22, 12); }

void Legend::swatch(const QColor& fill, const QString& text, const QString& suffix) {
  if (p_) {
    p_->setPen(style_.swatchPen);
    p_->setBrush(fill);
    p_->drawRect(swatchBox());
  }
  write(text, kIndent, false, suffix);
}

void Legend::patternSwatch(const QBrush& pattern, const QString& text) {
  if (p_) {
    p_->setPen(style_.swatchPen);
    p_->setBrush(QColor(255, 255, 255));
    p_->drawRect(swatchBox());
    p_->fillRect(swatchBox(), pattern);
  }
  write(text, kIndent, false);
}

void Legend::line(const QPen& pen, const QString& text) {
  if (p_) {
    p_->setPen(pen);
    p_->drawLine(QPointF(x_, y_ - 3), QPointF(x_ + 22, y_ - 3));
  }
  write(text, kIndent, false);
}

void Legend::note(const QString& text, double width) {
  if (p_) {
    p_->setPen(Qt::black);
    p_->setFont(font_);
    p_->drawText(QRectF(x_, y_ - 12, width, 36), Qt::TextWordWrap, text);
  }
  y_ += 44;
}

void Legend::gap() { y_ += style_.gap; }

void skyLegend(Legend& legend, const QString& sunElev) {
  legend.heading("Sky");
  legend.swatch(kDay, "day (Sun above 0°)");
  legend.swatch(kTwilight, QString("twilight (0° to %1°)").arg(sunElev));
  legend.swatch(kDark, QString("dark (Sun below %1°)").arg(sunElev));
}

bool savePicture(const std::function<QImage()>& draw, const std::string& path, std::string& error) {
  if (!isReportPicturePath(path)) {
    error = "cannot draw '" + path + "': only .png pictures are written";
    return false;
  }
  if (!draw().save(QString::fromStdString(path), "PNG")) {
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

}  // namespace np
