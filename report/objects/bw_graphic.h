// A picture object's graphic: kept as the bytes of its own file format (BMP,
// metafile, icon, JPEG), so that it is written back exactly as it was read,
// and decoded only when drawn.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

namespace bwreport {

enum TBwGraphicKind : std::uint8_t {
    gkNone = 0,
    gkBitmap = 1,
    gkMetafile = 2,
    gkIcon = 3,
    gkJpeg = 4,
};

class TBwGraphic {
public:
    TBwGraphicKind kind() const { return m_kind; }
    const QByteArray& data() const { return m_data; }
    bool isEmpty() const { return m_kind == gkNone; }
    // From the header; invalid for a metafile, which is kept but not drawn.
    QSize size() const { return m_size; }

    // Takes a graphic of `kind` from its file bytes after checking their
    // header; false, with the graphic unchanged, when they are not one.
    bool load(int kind, const QByteArray& data, QString* error = nullptr);
    // The kind follows the file's extension (.bmp, .wmf/.emf, .ico, .jpg/.jpeg).
    bool loadFromFile(const QString& path, QString* error = nullptr);
    // Stores `image` as a JPEG file.
    void setImage(const QImage& image);
    void clear();

    // Decoded on first use; null for a metafile or bytes that fail to decode.
    QImage image() const;

private:
    TBwGraphicKind m_kind = gkNone;
    QByteArray m_data;
    QSize m_size;
    mutable QImage m_image;
    mutable bool m_decoded = false;
};

}  // namespace bwreport
