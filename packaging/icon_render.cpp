// Draws the desktop's icons from the program's own 32 × 32 picture:
//   icon_render OUTPUT_FOLDER
// writes OUTPUT_FOLDER/hicolor/N×N/apps/vantrel.png for each size of the
// hicolor theme the menus use, and hicolor/scalable/apps/vantrel.svg. The
// picture is pixel art, so whole multiples of 32 keep its pixels sharp; the
// smaller sizes are smoothed down from it. The scalable one is the same
// pixels as squares, one rectangle per run of a colour along a row.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTextStream>
#include <cstdio>

#include "app/vantrel_icon.xpm"

namespace {

bool WritePng(const QImage& picture, const QString& root, int size) {
  const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
  if (!QDir().mkpath(folder)) return false;
  const Qt::TransformationMode mode =
      size % picture.width() == 0 ? Qt::FastTransformation : Qt::SmoothTransformation;
  return picture.scaled(size, size, Qt::KeepAspectRatio, mode)
      .save(folder + QStringLiteral("/vantrel.png"), "PNG");
}

bool WriteSvg(const QImage& picture, const QString& root) {
  const QString folder = root + QStringLiteral("/hicolor/scalable/apps");
  QFile file(folder + QStringLiteral("/vantrel.svg"));
  if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return false;
  }
  QTextStream out(&file);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << picture.width() << "\" height=\""
      << picture.height() << "\" viewBox=\"0 0 " << picture.width() << ' ' << picture.height()
      << "\" shape-rendering=\"crispEdges\">\n"
      << "<title>Vantrel: a small router with its two lamps lit</title>\n";
  for (int y = 0; y < picture.height(); ++y) {
    int x = 0;
    while (x < picture.width()) {
      const QRgb colour = picture.pixel(x, y);
      int end = x + 1;
      while (end < picture.width() && picture.pixel(end, y) == colour) ++end;
      if (qAlpha(colour) != 0) {
        out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << end - x
            << "\" height=\"1\" fill=\"" << QColor(colour).name() << "\"/>\n";
      }
      x = end;
    }
  }
  out << "</svg>\n";
  return out.status() == QTextStream::Ok && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: icon_render OUTPUT_FOLDER\n", stderr);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  const QImage picture = QImage(vantrel_icon_xpm).convertToFormat(QImage::Format_ARGB32);
  if (picture.isNull()) {
    std::fputs("icon_render: the picture could not be read\n", stderr);
    return 1;
  }
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    if (!WritePng(picture, root, size)) {
      std::fprintf(stderr, "icon_render: could not write the %d pixel icon\n", size);
      return 1;
    }
  }
  if (!WriteSvg(picture, root)) {
    std::fputs("icon_render: could not write the scalable icon\n", stderr);
    return 1;
  }
  return 0;
}
