#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace widgets {

// The stored picture format: width and height as signed 32-bit little-endian integers,
// then the rows from the top, each pixel 0xAARRGGBB little-endian (blue, green, red, alpha).
namespace picdata {

struct StoredPicture
{
    QImage image;  // Format_ARGB32; null on error
    QString error; // German text for the user; empty on success
};

// Larger pictures are refused rather than allocated: no picture of the program comes near.
inline constexpr qint64 MaxPixels = 64LL * 1024 * 1024;

StoredPicture read(QByteArrayView data);
// A file, or a resource (":/..."). A resource built in uncompressed is not copied: the
// image then refers to the program's own read-only data.
StoredPicture readFile(const QString &path);
QByteArray write(const QImage &image);

} // namespace picdata

} // namespace widgets
