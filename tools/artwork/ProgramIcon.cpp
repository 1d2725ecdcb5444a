#include "tools/artwork/ProgramIcon.h"

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include "tools/artwork/Palette.h"

namespace {

// The icon is drawn on a 256 x 256 grid through one of two canvases, so the
// bitmaps and the scalable file show the same picture.
class IconCanvas {
 public:
  virtual ~IconCanvas() = default;
  // A rounded rectangle filled from `top` to `bottom`, with an edge line.
  virtual void Panel(const QRectF& rect, double radius, const QColor& top, const QColor& bottom,
                     const QColor& edge, double edgeWidth) = 0;
  virtual void Disc(QPointF centre, double radius, const QColor& fill) = 0;
  virtual void Ring(QPointF centre, double radius, const QColor& colour, double width) = 0;
  // A straight stroke with round ends.
  virtual void Bar(QPointF from, QPointF to, const QColor& colour, double width) = 0;
  virtual void Triangle(const QPolygonF& corners, const QColor& fill) = 0;
};

constexpr double kGrid = 256;

// A dark panel like the player's, with the LCD glass and a lit "Q" whose
// bowl holds a play symbol.
void DrawIcon(IconCanvas& canvas) {
  canvas.Panel(QRectF(12, 12, 232, 232), 44, kPanelTop, kPanelBottom, kPanelEdge, 4);
  canvas.Disc({124, 124}, 86, kLcdGlass);
  canvas.Ring({124, 124}, 70, kLit, 20);
  canvas.Bar({158, 158}, {198, 198}, kLit, 24);
  canvas.Triangle(QPolygonF({{106, 88}, {162, 124}, {106, 160}}), kLit);
}

class PainterCanvas : public IconCanvas {
 public:
  explicit PainterCanvas(QPainter& painter) : p_(painter) {}

  void Panel(const QRectF& rect, double radius, const QColor& top, const QColor& bottom,
             const QColor& edge, double edgeWidth) override {
    QLinearGradient fill(0, rect.top(), 0, rect.bottom());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p_.setPen(QPen(edge, edgeWidth));
    p_.setBrush(fill);
    p_.drawRoundedRect(rect, radius, radius);
  }
  void Disc(QPointF centre, double radius, const QColor& fill) override {
    p_.setPen(Qt::NoPen);
    p_.setBrush(fill);
    p_.drawEllipse(centre, radius, radius);
  }
  void Ring(QPointF centre, double radius, const QColor& colour, double width) override {
    p_.setPen(QPen(colour, width));
    p_.setBrush(Qt::NoBrush);
    p_.drawEllipse(centre, radius, radius);
  }
  void Bar(QPointF from, QPointF to, const QColor& colour, double width) override {
    p_.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p_.drawLine(from, to);
  }
  void Triangle(const QPolygonF& corners, const QColor& fill) override {
    p_.setPen(Qt::NoPen);
    p_.setBrush(fill);
    p_.drawPolygon(corners);
  }

 private:
  QPainter& p_;
};

QString Number(double value) {
  return QString::number(value, 'g', 6);
}

QString Colour(const QColor& colour) {
  return colour.name(QColor::HexRgb);
}

class SvgCanvas : public IconCanvas {
 public:
  void Panel(const QRectF& rect, double radius, const QColor& top, const QColor& bottom,
             const QColor& edge, double edgeWidth) override {
    const QString id = QString("panel%1").arg(++gradients_);
    defs_ += QString(
                 "    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" "
                 "y1=\"%2\" x2=\"0\" y2=\"%3\">\n"
                 "      <stop offset=\"0\" stop-color=\"%4\"/>\n"
                 "      <stop offset=\"1\" stop-color=\"%5\"/>\n"
                 "    </linearGradient>\n")
                 .arg(id, Number(rect.top()), Number(rect.bottom()), Colour(top), Colour(bottom));
    body_ += QString(
                 "  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"url(#%6)\" "
                 "stroke=\"%7\" stroke-width=\"%8\"/>\n")
                 .arg(Number(rect.x()), Number(rect.y()), Number(rect.width()),
                      Number(rect.height()), Number(radius), id, Colour(edge), Number(edgeWidth));
  }
  void Disc(QPointF centre, double radius, const QColor& fill) override {
    body_ += QString("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"/>\n")
                 .arg(Number(centre.x()), Number(centre.y()), Number(radius), Colour(fill));
  }
  void Ring(QPointF centre, double radius, const QColor& colour, double width) override {
    body_ += QString(
                 "  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"none\" stroke=\"%4\" "
                 "stroke-width=\"%5\"/>\n")
                 .arg(Number(centre.x()), Number(centre.y()), Number(radius), Colour(colour),
                      Number(width));
  }
  void Bar(QPointF from, QPointF to, const QColor& colour, double width) override {
    body_ += QString(
                 "  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" "
                 "stroke-width=\"%6\" stroke-linecap=\"round\"/>\n")
                 .arg(Number(from.x()), Number(from.y()), Number(to.x()), Number(to.y()),
                      Colour(colour), Number(width));
  }
  void Triangle(const QPolygonF& corners, const QColor& fill) override {
    QStringList points;
    for (const QPointF& corner : corners)
      points << Number(corner.x()) + "," + Number(corner.y());
    body_ +=
        QString("  <polygon points=\"%1\" fill=\"%2\"/>\n").arg(points.join(' '), Colour(fill));
  }

  QByteArray Document() const {
    const QString size = Number(kGrid);
    return QString(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
               "viewBox=\"0 0 %1 %1\">\n"
               "  <defs>\n%2  </defs>\n%3</svg>\n")
        .arg(size, defs_, body_)
        .toUtf8();
  }

 private:
  int gradients_ = 0;
  QString defs_;
  QString body_;
};

}  // namespace

bool WriteProgramIcon(const QString& folder) {
  bool written = true;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    PainterCanvas canvas(painter);
    DrawIcon(canvas);
    painter.end();
    written &= image.save(QString("%1/quorelle-player-%2.png").arg(folder).arg(size));
  }
  SvgCanvas svg;
  DrawIcon(svg);
  QFile file(folder + "/quorelle-player.svg");
  written &= file.open(QIODevice::WriteOnly) && file.write(svg.Document()) >= 0;
  return written;
}
