// JPEG pictures through libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace bwreport {

// The largest picture decoded, in pixels; a header asking for more is refused
// before anything is allocated.
constexpr qint64 kMaxJpegPixels = 40'000'000;

// Reads the header only: the size, or an invalid size with `error` set.
QSize jpegSize(const QByteArray& data, QString* error = nullptr);
// A null image with `error` set when the data is not a JPEG file or too large.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);
// Baseline JPEG of `image` at `quality` (1..100).
QByteArray encodeJpeg(const QImage& image, int quality = 90);

}  // namespace bwreport
