// Draws the example device label shown in the window and writes it as a baseline JPEG with libjpeg:
//   tarnel-label-gen assets/label-example.jpg
// The committed picture is this program's output; run it again only to change the picture.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 169;
constexpr int kHeight = 60;
constexpr int kQuality = 75;

// A fixed bar pattern that reads as a barcode at this size.
void DrawBarcode(QPainter& Canvas) {
  unsigned seed = 20240611u;
  int x = 14;
  bool bar = true;
  while (x < kWidth - 14) {
    seed = seed * 1103515245u + 12345u;
    const int width = 1 + static_cast<int>((seed >> 16) % 3);
    if (bar) Canvas.fillRect(x, 3, width, 17, Qt::black);
    x += width;
    bar = !bar;
  }
}

void DrawText(QPainter& Canvas, const QRect& Box, int PixelSize, bool Bold, const QString& Text) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(PixelSize);
  font.setBold(Bold);
  Canvas.setFont(font);
  Canvas.setPen(Qt::black);
  Canvas.drawText(Box, Qt::AlignCenter, Text);
}

QImage DrawLabel() {
  QImage image(kWidth, kHeight, QImage::Format_RGB888);
  image.fill(Qt::white);
  QPainter canvas(&image);
  canvas.setRenderHint(QPainter::Antialiasing);
  canvas.setRenderHint(QPainter::TextAntialiasing);
  canvas.setPen(QPen(QColor(0xB0, 0xB0, 0xB0), 1));
  canvas.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));
  DrawBarcode(canvas);
  DrawText(canvas, QRect(0, 21, kWidth, 17), 12, true, QStringLiteral("S/N: 0123/4567"));
  canvas.setPen(QPen(QColor(0x00, 0xA0, 0x30), 2));
  canvas.setBrush(Qt::NoBrush);
  canvas.drawEllipse(QRectF(25, 20.5, 119, 19));
  DrawText(canvas, QRect(0, 41, kWidth, 14), 10, false, QStringLiteral("MAC: 00:1B:52:0A:3C:7E"));
  return image;
}

bool WriteJpeg(const QImage& Image, const char* Path) {
  FILE* file = std::fopen(Path, "wb");
  if (!file) return false;
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, kQuality, TRUE);
  info.write_JFIF_header = TRUE;
  info.JFIF_major_version = 1;
  info.JFIF_minor_version = 2;
  info.density_unit = 1;  // dots per inch
  info.X_density = 100;
  info.Y_density = 100;
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(kWidth * 3);
  while (info.next_scanline < info.image_height) {
    const uchar* line = Image.constScanLine(static_cast<int>(info.next_scanline));
    row.assign(line, line + kWidth * 3);
    JSAMPROW rowPointer = row.data();
    jpeg_write_scanlines(&info, &rowPointer, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  if (!WriteJpeg(DrawLabel(), argv[1])) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
