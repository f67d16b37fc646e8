#pragma once

#include "widgets/SegmentGeometry.h"

#include <QImage>
#include <QRect>
#include <QRegion>

#include <vector>

namespace widgets {

// Scan conversion of polygons into horizontal pixel spans with the even-odd rule taken
// over all polygons together, the rule of the platform's polygon regions: pixel (x, y)
// belongs to the area when the point (x, y) lies inside, with left and top edges in and
// right and bottom edges out. Filling spans directly is far cheaper than uniting one
// region per polygon, and gives the same pixels.
class PolygonSpans
{
public:
    // Converts the polygons, keeping only what lies inside clip. Reuses its buffers.
    void build(const QPoint *points, const int *counts, int polygonCount, const QRect &clip);
    void build(const lcd::PolygonList &polygons, const QRect &clip);

    bool isEmpty() const;
    // Sets every pixel of the spans in a 32-bit image.
    void fill(QImage &image, QRgb color) const;
    QRegion region() const;

private:
    struct Edge
    {
        int y0;       // first row
        int y1;       // row after the last
        int x;        // crossing in row y0, rounded up
        int error;    // x minus the exact crossing, in units of 1/dy
        int step;     // whole pixels per row (floor of dx/dy)
        int fraction; // dx - step * dy
        int dy;
    };

    QRect m_clip;
    std::vector<Edge> m_edges;
    std::vector<int> m_rowStart; // per row, the first of its crossings in m_xs
    std::vector<int> m_xs;       // crossings, sorted within each row
    std::vector<int> m_rowCursor;
};

} // namespace widgets
