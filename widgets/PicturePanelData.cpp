#include "widgets/PicturePanelData.h"

#include <QFile>
#include <QResource>
#include <QSysInfo>
#include <QtEndian>

#include <cstring>

namespace widgets {

namespace picdata {

namespace {

constexpr qint64 HeaderSize = 8;

StoredPicture failure(const QString &text)
{
    return {QImage(), text};
}

// Checks the header against the data's length, then lets `makeImage` make the image from
// the pixels.
template <typename MakeImage>
StoredPicture check(QByteArrayView data, MakeImage makeImage)
{
    if (data.size() < HeaderSize)
        return failure(QStringLiteral("Die Bilddaten sind zu kurz: %1 Bytes, der Kopf allein "
                                      "braucht 8 Bytes.")
                           .arg(data.size()));
    const qint32 w = qFromLittleEndian<qint32>(data.data());
    const qint32 h = qFromLittleEndian<qint32>(data.data() + 4);
    if (w < 0 || h < 0)
        return failure(
            QStringLiteral("Die Bilddaten nennen eine negative Größe (%1 × %2).").arg(w).arg(h));
    const qint64 pixels = qint64(w) * qint64(h);
    if (pixels > MaxPixels)
        return failure(QStringLiteral("Das Bild ist mit %1 × %2 Punkten zu groß.").arg(w).arg(h));
    const qint64 expected = HeaderSize + 4 * pixels;
    if (data.size() < expected)
        return failure(QStringLiteral("Die Bilddaten sind zu kurz: %1 × %2 Punkte brauchen %3 "
                                      "Bytes, vorhanden sind %4.")
                           .arg(w)
                           .arg(h)
                           .arg(expected)
                           .arg(data.size()));
    if (data.size() > expected)
        return failure(QStringLiteral("Die Bilddaten sind zu lang: %1 × %2 Punkte brauchen %3 "
                                      "Bytes, vorhanden sind %4.")
                           .arg(w)
                           .arg(h)
                           .arg(expected)
                           .arg(data.size()));
    const QImage image = makeImage(w, h, data.data() + HeaderSize);
    if (pixels > 0 && image.isNull())
        return failure(
            QStringLiteral("Für das Bild (%1 × %2 Punkte) fehlt der Speicher.").arg(w).arg(h));
    return {image, QString()};
}

} // namespace

StoredPicture read(QByteArrayView data)
{
    return check(data, [](qint32 w, qint32 h, const char *in) {
        QImage image(w, h, QImage::Format_ARGB32);
        if (qint64(w) * h > 0 && image.isNull())
            return image;
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
            for (int x = 0; x < w; ++x, in += 4)
                row[x] = qFromLittleEndian<quint32>(in);
        }
        return image;
    });
}

StoredPicture readFile(const QString &path)
{
    if (path.startsWith(u':')) {
        const QResource resource(path);
        const bool inPlace = resource.isValid() &&
                             resource.compressionAlgorithm() == QResource::NoCompression &&
                             QSysInfo::ByteOrder == QSysInfo::LittleEndian &&
                             reinterpret_cast<quintptr>(resource.data()) % 4 == 0;
        if (inPlace) {
            return check(QByteArrayView(resource.data(), resource.size()),
                         [](qint32 w, qint32 h, const char *in) {
                             return QImage(reinterpret_cast<const uchar *>(in), w, h, 4 * w,
                                           QImage::Format_ARGB32);
                         });
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("Die Bilddatei „%1“ lässt sich nicht lesen: %2")
                           .arg(path, file.errorString()));
    if (file.size() > HeaderSize + 4 * MaxPixels)
        return failure(QStringLiteral("Die Bilddatei „%1“ ist mit %2 Bytes zu groß.")
                           .arg(path)
                           .arg(file.size()));
    return read(file.readAll());
}

QByteArray write(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const qint32 w = image.width();
    const qint32 h = image.height();
    QByteArray out(HeaderSize + 4 * qint64(w) * h, Qt::Uninitialized);
    char *p = out.data();
    qToLittleEndian<qint32>(w, p);
    qToLittleEndian<qint32>(h, p + 4);
    p += HeaderSize;
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x, p += 4)
            qToLittleEndian<quint32>(row[x], p);
    }
    return out;
}

} // namespace picdata

} // namespace widgets
