// quorelle-artwork <panel folder> <icon folder>: draws every PNG image of the
// player panel, each named by its resource id, in the sizes the panel's
// layout expects, and the program icon.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <array>
#include <cstdio>
#include <functional>

#include "tools/artwork/Palette.h"
#include "tools/artwork/ProgramIcon.h"

namespace {

QString gFolder;

void Save(int id, const QImage& image) {
  const QString path = gFolder + "/" + QString::number(id) + ".png";
  if (!image.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QImage Blank(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

void Draw(int id, int width, int height, const std::function<void(QPainter&)>& paint) {
  QImage image = Blank(width, height);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  painter.end();
  Save(id, image);
}

// Seven segments a-g of a digit in a w x h box, as polygons.
std::array<QPolygonF, 7> Segments(double w, double h, double t) {
  const double m = t / 2, mid = h / 2;
  auto horizontal = [&](double y) {
    return QPolygonF({{m + t / 2, y},
                      {m + t, y - t / 2},
                      {w - m - t, y - t / 2},
                      {w - m - t / 2, y},
                      {w - m - t, y + t / 2},
                      {m + t, y + t / 2}});
  };
  auto vertical = [&](double x, double y0, double y1) {
    return QPolygonF({{x, y0 + t / 2},
                      {x + t / 2, y0 + t},
                      {x + t / 2, y1 - t},
                      {x, y1 - t / 2},
                      {x - t / 2, y1 - t},
                      {x - t / 2, y0 + t}});
  };
  const double left = m + t / 2, right = w - m - t / 2;
  return {horizontal(m + t / 2),
          vertical(right, m + t / 2, mid),
          vertical(right, mid, h - m - t / 2),
          horizontal(h - m - t / 2),
          vertical(left, mid, h - m - t / 2),
          vertical(left, m + t / 2, mid),
          horizontal(mid)};
}

constexpr std::array<const char*, 10> kDigitSegments = {
    "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};

void SevenSegment(int id, int width, int height, double thickness, int digit) {
  Draw(id, width, height, [&](QPainter& p) {
    p.setPen(Qt::NoPen);
    const auto segments = Segments(width - 2, height, thickness);
    const QString lit = kDigitSegments[digit];
    for (int s = 0; s < 7; ++s) {
      p.setBrush(lit.contains(QChar('a' + s)) ? kLit : kUnlit);
      p.drawPolygon(segments[s].translated(1, 0));
    }
  });
}

void Text(int id, int width, int height, const QString& text, const QColor& colour, int pixelSize,
          bool bold = true) {
  Draw(id, width, height, [&](QPainter& p) {
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QRect(0, 0, width, height), Qt::AlignCenter, text);
  });
}

void Label(int lit, int unlit, const QString& text) {
  auto frame = [&](int id, const QColor& colour) {
    Draw(id, 40, 16, [&](QPainter& p) {
      p.setPen(QPen(colour, 1));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(QRectF(0.5, 0.5, 39, 15), 3, 3);
      QFont font("DejaVu Sans Condensed");
      font.setPixelSize(11);
      font.setBold(true);
      p.setFont(font);
      p.drawText(QRect(0, 0, 40, 16), Qt::AlignCenter, text);
    });
  };
  frame(lit, kLit);
  frame(unlit, kUnlit);
}

// The transport buttons: a pentagon with a symbol; pressed is darker and
// sits a pixel lower, the third image glows.
enum class Face { Normal, Pressed, Glow };
void Button(int id, Face face, const std::function<void(QPainter&)>& symbol) {
  Draw(id, 80, 80, [&](QPainter& p) {
    QPolygonF pentagon;
    for (int i = 0; i < 5; ++i) {
      const double angle = -M_PI / 2 + i * 2 * M_PI / 5;
      pentagon << QPointF(40 + 37 * std::cos(angle), 43 + 37 * std::sin(angle));
    }
    const double shift = face == Face::Pressed ? 1 : 0;
    QLinearGradient fill(0, 5, 0, 78);
    fill.setColorAt(0, face == Face::Pressed ? QColor(50, 54, 60) : QColor(96, 102, 112));
    fill.setColorAt(1, face == Face::Pressed ? QColor(24, 26, 30) : QColor(40, 43, 48));
    p.setPen(QPen(face == Face::Glow ? kLit : QColor(16, 17, 20), 2));
    p.setBrush(fill);
    p.drawPolygon(pentagon.translated(0, shift));
    p.translate(0, shift);
    p.setPen(Qt::NoPen);
    p.setBrush(face == Face::Pressed ? kLit.darker(130) : kLit);
    symbol(p);
  });
}

void Buttons() {
  const auto play = [](QPainter& p) { p.drawPolygon(QPolygonF({{32, 28}, {56, 43}, {32, 58}})); };
  const auto pause = [](QPainter& p) {
    p.drawRect(QRectF(30, 29, 8, 28));
    p.drawRect(QRectF(44, 29, 8, 28));
  };
  const auto stop = [](QPainter& p) { p.drawRect(QRectF(29, 31, 22, 22)); };
  const auto previous = [](QPainter& p) {
    p.drawRect(QRectF(26, 30, 5, 26));
    p.drawPolygon(QPolygonF({{54, 30}, {33, 43}, {54, 56}}));
  };
  const auto next = [](QPainter& p) {
    p.drawRect(QRectF(51, 30, 5, 26));
    p.drawPolygon(QPolygonF({{28, 30}, {49, 43}, {28, 56}}));
  };
  Button(316, Face::Normal, stop);
  Button(315, Face::Pressed, stop);
  Button(312, Face::Normal, play);
  Button(311, Face::Pressed, play);
  Button(310, Face::Glow, play);
  Button(309, Face::Normal, pause);
  Button(308, Face::Pressed, pause);
  Button(307, Face::Glow, pause);
  Button(314, Face::Normal, previous);
  Button(313, Face::Pressed, previous);
  Button(306, Face::Normal, next);
  Button(305, Face::Pressed, next);
}

void Lcd() {
  for (int d = 0; d < 10; ++d) {
    SevenSegment(340 + d, 24, 36, 4, d);
    SevenSegment(372 + d, 8, 16, 2, d);
  }
  Draw(339, 14, 36, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLit);
    p.drawEllipse(QRectF(5, 10, 4, 4));
    p.drawEllipse(QRectF(5, 22, 4, 4));
  });
  Draw(356, 5, 16, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLit);
    p.drawEllipse(QRectF(1, 12.5, 3, 3));
  });
  Text(383, 32, 16, "kHz", kLit, 11);
  Text(382, 32, 16, "MHz", kLit, 11);
  Label(321, 322, "DFF");
  Label(353, 324, "DSF");
  Label(327, 328, "MP3");
  Label(325, 326, "FLAC");
  Label(329, 330, "WAV");
  // The display area's indicator and its strip of eleven 19-pixel glyphs
  // (ten digits and a colon).
  Draw(317, 20, 10, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLit);
    p.drawPolygon(QPolygonF({{2, 1}, {18, 5}, {2, 9}}));
  });
  QImage strip = Blank(19 * 11, 27);
  for (int d = 0; d < 11; ++d) {
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.translate(19 * d, 0);
    if (d == 10) {
      p.setBrush(kLit);
      p.drawEllipse(QRectF(8, 8, 3, 3));
      p.drawEllipse(QRectF(8, 17, 3, 3));
      continue;
    }
    const auto segments = Segments(17, 27, 3);
    const QString lit = kDigitSegments[d];
    for (int s = 0; s < 7; ++s) {
      p.setBrush(lit.contains(QChar('a' + s)) ? kLit : kUnlit);
      p.drawPolygon(segments[s].translated(1, 0));
    }
  }
  Save(318, strip);
}

void SeekBar() {
  auto thumb = [](int id, bool pressed) {
    Draw(id, 16, 32, [&](QPainter& p) {
      QLinearGradient fill(0, 0, 16, 0);
      fill.setColorAt(0, pressed ? QColor(150, 156, 164) : QColor(230, 232, 236));
      fill.setColorAt(1, pressed ? QColor(90, 94, 100) : QColor(150, 156, 164));
      p.setPen(QPen(QColor(20, 22, 26), 1));
      p.setBrush(fill);
      p.drawRoundedRect(QRectF(1.5, 1.5, 13, 29), 4, 4);
      p.setPen(QPen(pressed ? kLit : QColor(70, 74, 80), 1));
      p.drawLine(QPointF(8, 8), QPointF(8, 24));
    });
  };
  thumb(303, false);
  thumb(302, true);
  Draw(301, 1, 4, [](QPainter& p) { p.fillRect(0, 0, 1, 4, QColor(220, 220, 220)); });
  Draw(304, 1, 4, [](QPainter& p) { p.fillRect(0, 0, 1, 4, kLit); });
}

void Playlist() {
  Draw(355, 20, 16, [](QPainter&) {});
  Draw(354, 20, 20, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 120, 215));
    p.drawPolygon(QPolygonF({{6, 4}, {16, 10}, {6, 16}}));
  });
  // The drag image: three rows with a double-headed arrow beside them.
  Draw(371, 16, 16, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 120, 215));
    for (int row = 0; row < 3; ++row)
      p.drawRect(QRectF(1, 2 + 5 * row, 9, 3));
    p.drawPolygon(QPolygonF({{13, 1}, {15.5, 5}, {10.5, 5}}));
    p.drawRect(QRectF(12.25, 5, 1.5, 6));
    p.drawPolygon(QPolygonF({{13, 15}, {15.5, 11}, {10.5, 11}}));
  });
}

void Background() {
  QImage image(709, 566, QImage::Format_ARGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, 566);
  fill.setColorAt(0, kPanelTop);
  fill.setColorAt(1, kPanelBottom);
  p.fillRect(image.rect(), fill);
  // The LCD window behind the format, rate and time displays.
  p.setPen(QPen(QColor(90, 96, 104), 1));
  p.setBrush(kLcdGlass);
  p.drawRoundedRect(QRectF(372.5, 30.5, 248, 84), 6, 6);
  // The groove under the seek bar and the frame around the playlist.
  p.setPen(QPen(QColor(16, 17, 20), 1));
  p.setBrush(QColor(36, 38, 43));
  p.drawRoundedRect(QRectF(116.5, 127.5, 496, 34), 8, 8);
  p.setBrush(QColor(240, 240, 240));
  p.drawRect(QRectF(13.5, 186.5, 683, 360));
  QFont font("DejaVu Sans");
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(150, 156, 164));
  p.drawText(QRect(16, 8, 400, 20), Qt::AlignLeft | Qt::AlignVCenter, "Corvane Quorelle Player");
  p.end();
  Save(300, image);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: quorelle-artwork <panel folder> <icon folder>\n");
    return 2;
  }
  gFolder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(gFolder);
  Background();
  Buttons();
  Lcd();
  SeekBar();
  Playlist();
  const QString iconFolder = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(iconFolder);
  if (!WriteProgramIcon(iconFolder)) {
    std::fprintf(stderr, "cannot write the program icon into %s\n", argv[2]);
    return 1;
  }
  return 0;
}
