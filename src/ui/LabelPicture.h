#pragma once

#include <QByteArrayView>
#include <QImage>

class QLabel;

namespace tarnel {

// Decodes a baseline or progressive JPEG with libjpeg into an RGB image. Corrupt, truncated or oversized
// data gives a null image; nothing is printed and nothing aborts.
QImage DecodeJpeg(QByteArrayView Data);

// The example device label shown in the window, as compiled into the program.
QByteArrayView LabelExampleJpeg();

// Shows the decoded picture centred in Target, which clips what does not fit. A picture that cannot be
// decoded leaves Target empty; returns whether a picture is shown.
bool ShowLabelPicture(QLabel* Target, QByteArrayView Jpeg);

}  // namespace tarnel
