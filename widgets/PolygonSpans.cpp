#include "widgets/PolygonSpans.h"

#include <algorithm>
#include <cstdint>

namespace widgets {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void insertionSort(int *first, int *last)
{
    for (int *i = first + 1; i < last; ++i) {
        const int v = *i;
        int *j = i;
        for (; j > first && *(j - 1) > v; --j)
            *j = *(j - 1);
        *j = v;
    }
}

} // namespace

void PolygonSpans::build(const lcd::PolygonList &polygons, const QRect &clip)
{
    build(polygons.points.data(), polygons.counts.data(), polygons.polygonCount(), clip);
}

void PolygonSpans::build(const QPoint *points, const int *counts, int polygonCount,
                         const QRect &clip)
{
    m_clip = clip;
    m_edges.clear();
    const int rows = std::max(0, clip.height());
    const int top = clip.top();
    const int bottom = top + rows;

    int first = 0;
    for (int p = 0; p < polygonCount; ++p) {
        const int n = counts[p];
        for (int i = 0; i < n; ++i) {
            QPoint a = points[first + i];
            QPoint b = points[first + (i + 1) % n];
            if (a.y() == b.y())
                continue; // horizontal edges cross no row
            if (a.y() > b.y())
                std::swap(a, b);
            const int y0 = std::max(a.y(), top);
            const int y1 = std::min(b.y(), bottom);
            if (y0 >= y1)
                continue;
            const std::int64_t dx = b.x() - a.x();
            const std::int64_t dy = b.y() - a.y();
            // Crossing in row y0: a.x + (y0 - a.y) * dx / dy, rounded up.
            const std::int64_t num = std::int64_t(a.x()) * dy + (y0 - a.y()) * dx;
            const std::int64_t x = -floorDiv(-num, dy);
            const std::int64_t step = floorDiv(dx, dy);
            m_edges.push_back(
                {y0, y1, int(x), int(x * dy - num), int(step), int(dx - step * dy), int(dy)});
        }
        first += n;
    }

    // Count the crossings of every row, then place them.
    m_rowStart.assign(std::size_t(rows) + 1, 0);
    for (const Edge &e : m_edges) {
        ++m_rowStart[std::size_t(e.y0 - top)];
        --m_rowStart[std::size_t(e.y1 - top)];
    }
    int running = 0;
    int offset = 0;
    for (int r = 0; r < rows; ++r) {
        running += m_rowStart[std::size_t(r)];
        m_rowStart[std::size_t(r)] = offset;
        offset += running;
    }
    m_rowStart[std::size_t(rows)] = offset;
    m_xs.resize(std::size_t(offset));

    m_rowCursor.assign(m_rowStart.begin(), m_rowStart.end());
    for (const Edge &e : m_edges) {
        int x = e.x;
        int error = e.error;
        for (int y = e.y0; y < e.y1; ++y) {
            m_xs[std::size_t(m_rowCursor[std::size_t(y - top)]++)] = x;
            x += e.step;
            error -= e.fraction;
            if (error < 0) {
                ++x;
                error += e.dy;
            }
        }
    }
    for (int r = 0; r < rows; ++r)
        insertionSort(m_xs.data() + m_rowStart[std::size_t(r)],
                      m_xs.data() + m_rowStart[std::size_t(r) + 1]);
}

bool PolygonSpans::isEmpty() const
{
    const int left = m_clip.left();
    const int right = m_clip.left() + m_clip.width();
    for (std::size_t i = 0; i + 1 < m_xs.size(); i += 2)
        if (std::max(m_xs[i], left) < std::min(m_xs[i + 1], right))
            return false;
    return true;
}

void PolygonSpans::fill(QImage &image, QRgb color) const
{
    const int left = std::max(m_clip.left(), 0);
    const int right = std::min(m_clip.left() + m_clip.width(), image.width());
    const int rows = int(m_rowStart.size()) - 1;
    if (rows <= 0 || image.isNull())
        return;
    uchar *bits = image.bits(); // detaches once, not per row
    const qsizetype stride = image.bytesPerLine();
    const int height = image.height();
    for (int r = 0; r < rows; ++r) {
        const int y = m_clip.top() + r;
        if (y < 0 || y >= height)
            continue;
        auto *line = reinterpret_cast<QRgb *>(bits + y * stride);
        for (int i = m_rowStart[std::size_t(r)]; i < m_rowStart[std::size_t(r) + 1]; i += 2) {
            const int x0 = std::max(m_xs[std::size_t(i)], left);
            const int x1 = std::min(m_xs[std::size_t(i) + 1], right);
            if (x0 < x1)
                std::fill(line + x0, line + x1, color);
        }
    }
}

QRegion PolygonSpans::region() const
{
    const int left = m_clip.left();
    const int right = m_clip.left() + m_clip.width();
    const int rows = int(m_rowStart.size()) - 1;

    // Spans of each row, neighbours joined; equal rows in a row make one band.
    std::vector<QRect> rects;
    std::vector<std::pair<int, int>> band;
    std::vector<std::pair<int, int>> row;
    int bandTop = 0;
    const auto flush = [&](int bandBottom) {
        for (const auto &[x0, x1] : band)
            rects.emplace_back(QPoint(x0, bandTop), QPoint(x1 - 1, bandBottom - 1));
        band.clear();
    };
    for (int r = 0; r < rows; ++r) {
        row.clear();
        for (int i = m_rowStart[std::size_t(r)]; i < m_rowStart[std::size_t(r) + 1]; i += 2) {
            const int x0 = std::max(m_xs[std::size_t(i)], left);
            const int x1 = std::min(m_xs[std::size_t(i) + 1], right);
            if (x0 >= x1)
                continue;
            if (!row.empty() && row.back().second >= x0)
                row.back().second = std::max(row.back().second, x1);
            else
                row.emplace_back(x0, x1);
        }
        const int y = m_clip.top() + r;
        if (row != band) {
            flush(y);
            band = row;
            bandTop = y;
        }
    }
    flush(m_clip.top() + rows);

    QRegion result;
    if (!rects.empty())
        result.setRects(rects.data(), int(rects.size()));
    return result;
}

} // namespace widgets
