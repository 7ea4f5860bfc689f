#include "ui/LabelPicture.h"

#include <QLabel>
#include <QPixmap>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tarnel {
namespace {

// Anything larger is not a picture this program ships; refusing it keeps a corrupt header from asking for
// gigabytes.
constexpr JDIMENSION kMaxSide = 4096;

struct TJpegErrors {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

[[noreturn]] void OnJpegError(j_common_ptr Info) {
  std::longjmp(reinterpret_cast<TJpegErrors*>(Info->err)->Jump, 1);
}

// A warning means damaged data (a truncated stream is padded with grey): treat it as an error.
void OnJpegMessage(j_common_ptr Info, int Level) {
  if (Level < 0) OnJpegError(Info);
}

// Runs between setjmp and a possible longjmp, so it keeps no object with a destructor of its own: the
// image lives in the caller's frame.
void ReadPicture(jpeg_decompress_struct* Info, QImage* Image) {
  jpeg_read_header(Info, TRUE);
  Info->out_color_space = JCS_RGB;
  jpeg_start_decompress(Info);
  if (Info->output_width > kMaxSide || Info->output_height > kMaxSide || Info->output_components != 3) {
    jpeg_abort_decompress(Info);
    return;
  }
  *Image = QImage(static_cast<int>(Info->output_width), static_cast<int>(Info->output_height),
                  QImage::Format_RGB888);
  if (Image->isNull()) {
    jpeg_abort_decompress(Info);
    return;
  }
  while (Info->output_scanline < Info->output_height) {
    JSAMPROW row = Image->scanLine(static_cast<int>(Info->output_scanline));
    jpeg_read_scanlines(Info, &row, 1);
  }
  jpeg_finish_decompress(Info);
}

}  // namespace

QImage DecodeJpeg(QByteArrayView Data) {
  if (Data.isEmpty()) return {};
  QImage image;
  jpeg_decompress_struct info{};
  TJpegErrors errors{};
  info.err = jpeg_std_error(&errors.Manager);
  errors.Manager.error_exit = OnJpegError;
  errors.Manager.emit_message = OnJpegMessage;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return {};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(Data.data()),
               static_cast<unsigned long>(Data.size()));
  ReadPicture(&info, &image);
  jpeg_destroy_decompress(&info);
  return image;
}

bool ShowLabelPicture(QLabel* Target, QByteArrayView Jpeg) {
  if (!Target) return false;
  const QImage picture = DecodeJpeg(Jpeg);
  Target->setAlignment(Qt::AlignCenter);
  if (picture.isNull()) {
    Target->clear();
    return false;
  }
  Target->setPixmap(QPixmap::fromImage(picture));
  return true;
}

}  // namespace tarnel
