// libjpeg reports errors through longjmp, so every function that sets a jump
// point keeps only trivially destructible locals; Qt objects live one frame up.
#include "objects/bw_jpeg.h"

#include <jpeglib.h>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace bwreport {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void onJpegError(j_common_ptr info) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, e->message);
    std::longjmp(e->jump, 1);
}

// Warnings (a truncated file, for one) are not worth a line on stderr.
extern "C" void onJpegMessage(j_common_ptr, int) {}

void initErrors(ErrorManager& e) {
    jpeg_std_error(&e.pub);
    e.pub.error_exit = onJpegError;
    e.pub.emit_message = onJpegMessage;
    e.message[0] = 0;
}

bool readHeader(jpeg_decompress_struct* c, ErrorManager* e, const QByteArray* data) {
    if (setjmp(e->jump)) return false;
    jpeg_create_decompress(c);
    jpeg_mem_src(c, reinterpret_cast<const unsigned char*>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(c, TRUE);
    return true;
}

bool readPixels(jpeg_decompress_struct* c, ErrorManager* e, unsigned char* bits,
                qsizetype bytesPerLine, bool cmyk) {
    if (setjmp(e->jump)) return false;
    c->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(c);
    while (c->output_scanline < c->output_height) {
        JSAMPROW row = bits + c->output_scanline * bytesPerLine;
        jpeg_read_scanlines(c, &row, 1);
    }
    jpeg_finish_decompress(c);
    return true;
}

bool writePixels(jpeg_compress_struct* c, ErrorManager* e, const unsigned char* bits,
                 qsizetype bytesPerLine, int width, int height, int quality, unsigned char** out,
                 unsigned long* outSize) {
    if (setjmp(e->jump)) return false;
    jpeg_create_compress(c);
    jpeg_mem_dest(c, out, outSize);
    c->image_width = static_cast<JDIMENSION>(width);
    c->image_height = static_cast<JDIMENSION>(height);
    c->input_components = 3;
    c->in_color_space = JCS_RGB;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, quality, TRUE);
    jpeg_start_compress(c, TRUE);
    while (c->next_scanline < c->image_height) {
        JSAMPROW row = const_cast<unsigned char*>(bits + c->next_scanline * bytesPerLine);
        jpeg_write_scanlines(c, &row, 1);
    }
    jpeg_finish_compress(c);
    return true;
}

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

}  // namespace

QSize jpegSize(const QByteArray& data, QString* error) {
    jpeg_decompress_struct c{};
    ErrorManager e;
    initErrors(e);
    c.err = &e.pub;
    QSize size;
    if (readHeader(&c, &e, &data))
        size = QSize(static_cast<int>(c.image_width), static_cast<int>(c.image_height));
    else
        setError(error, QStringLiteral("JPEG: %1").arg(QString::fromLocal8Bit(e.message)));
    jpeg_destroy_decompress(&c);
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxJpegPixels) {
        setError(error, QStringLiteral("JPEG: a picture of %1 x %2 pixels is too large")
                            .arg(size.width())
                            .arg(size.height()));
        return {};
    }
    if (size.isValid() && size.isEmpty()) {
        setError(error, QStringLiteral("JPEG: a picture without pixels"));
        return {};
    }
    return size;
}

QImage decodeJpeg(const QByteArray& data, QString* error) {
    const QSize size = jpegSize(data, error);
    if (!size.isValid()) return {};
    jpeg_decompress_struct c{};
    ErrorManager e;
    initErrors(e);
    c.err = &e.pub;
    QImage image;
    if (readHeader(&c, &e, &data)) {
        const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
        image = QImage(size, QImage::Format_RGB32);
        if (image.isNull()) {
            setError(error, QStringLiteral("JPEG: no memory for the picture"));
        } else if (!readPixels(&c, &e, image.bits(), image.bytesPerLine(), cmyk)) {
            setError(error, QStringLiteral("JPEG: %1").arg(QString::fromLocal8Bit(e.message)));
            image = {};
        } else if (cmyk) {
            // Adobe's inverted CMYK, the form such files carry.
            for (int y = 0; y < image.height(); ++y) {
                auto* px = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    const auto* b = reinterpret_cast<const unsigned char*>(&px[x]);
                    const int k = b[3];
                    px[x] = qRgb(b[0] * k / 255, b[1] * k / 255, b[2] * k / 255);
                }
            }
        }
    } else {
        setError(error, QStringLiteral("JPEG: %1").arg(QString::fromLocal8Bit(e.message)));
    }
    jpeg_destroy_decompress(&c);
    return image;
}

QByteArray encodeJpeg(const QImage& source, int quality) {
    if (source.isNull()) return {};
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct c{};
    ErrorManager e;
    initErrors(e);
    c.err = &e.pub;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    QByteArray result;
    if (writePixels(&c, &e, rgb.constBits(), rgb.bytesPerLine(), rgb.width(), rgb.height(),
                    qBound(1, quality, 100), &out, &outSize))
        result = QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(outSize));
    jpeg_destroy_compress(&c);
    std::free(out);
    return result;
}

}  // namespace bwreport
