#pragma once

#include "widgets/Colors.h"
#include "widgets/FaceLayout.h"
#include "widgets/PolygonSpans.h"
#include "widgets/SegmentGeometry.h"

#include <QImage>
#include <QRegion>
#include <QSize>

#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace widgets {

// The segment display's picture as plain logic: layout, bevels, segments and materials
// rendered into an image for a widget of a given size, with no widget involved. The
// display keeps its property values in an IndicatorLook, hands it over on every rebuild
// and paints by copying the result.
namespace lcd {

enum TIABevelKind : int { bkUP, bkDown, bkNone };
enum TIAMouseAction : int { maNone, maColor, maWidth, maBoth };
enum TIATransparentMode : int { tmNone, tmBackOnly, tmAll };
enum TIAMaterialShadowMode : int { msmDark, msmLight, msmNone };
enum TIAMaterialMode : int { mmStretch, mmTile };

// Everything that decides the picture, with the display's initial values.
struct IndicatorLook
{
    int signNumber = 10;
    int indicatorWidth = 172;
    int indicatorHeight = 36;
    int indicatorAngle = 0; // tenths of a degree, counter-clockwise
    int indicatorGap = 2;
    std::string text; // one 8-bit character per cell
    TIAIndicatorKind kind = ik7segment;
    TIABevelKind innerBevel = bkDown;
    TIABevelKind outerBevel = bkUP;
    int innerBevelWidth = 2;
    int outerBevelWidth = 2;
    TColor bevelColor = 0xDDDDDD;
    TColor backColor = 0xDDDDDD;
    TColor numberForeColor = 0x363636;
    TColor numberForeColor1 = 0x0000FF;
    TColor numberBackColor = 0xD3D3D3;
    TIAIndicatorStyle style = isNormal;
    TIAMouseAction mouseAction = maNone;
    TIATransparentMode transparentMode = tmNone;
    QImage backMaterial;
    QImage foreMaterial;
    TIAMaterialShadowMode materialShadowMode = msmDark;
    TIAMaterialMode materialMode = mmStretch;
    TIAMaterialMode foreMaterialMode = mmStretch;
    bool mouseInside = false;
};

// The face's angle in radians.
double FaceAngle(const IndicatorLook &look);
// The bounding box of the turned face: the size the display's window takes.
QSize TurnedFaceSize(const IndicatorLook &look);

class LiquidIndicatorRenderer
{
public:
    // Derives the bevel and shadow materials from the back material. Only a change of the
    // back material or the shadow mode needs it, not every picture.
    void prepareMaterials(const IndicatorLook &look);

    // Lays out every polygon and paints the whole picture for a widget of the given size,
    // with ratio screen pixels to a widget pixel.
    void render(const IndicatorLook &look, QSize size, qreal ratio);

    // The turned face in the coordinates of a widget of the given size.
    QRegion faceShape(const IndicatorLook &look, QSize size);

    // Copies the picture to (0, 0), restricted to the visible region when one is kept.
    void paint(QPainter &painter) const;

    // What the last render produced. The picture has ratio times the widget's pixels; the
    // polygons are in widget coordinates.
    const QImage &picture() const { return m_picture; }
    const PolygonList &litPolygons() const { return m_lit; }
    const PolygonList &unlitPolygons() const { return m_unlit; }
    // Present only in the transparent modes: what painting copies, in picture pixels.
    const std::optional<QRegion> &visibleRegion() const { return m_visibleRegion; }
    // The ratio the picture was rendered at (1 before the first render).
    qreal pictureRatio() const;

private:
    void layOutPolygons(const IndicatorLook &look);
    static void placePoints(const IndicatorLook &look, QSize size, QPoint *points, int count,
                            int shift);
    // No clip draws over the whole picture.
    void drawMaterial(const QImage &material, TIAMaterialMode mode,
                      const std::optional<QRegion> &clip);
    void paintBevel(const IndicatorLook &look, TIABevelKind kind, int inset, int width);
    void addVisible(const QRegion &region);
    void clipToPicturePixels(QPainter &painter, const QRegion &clip) const;
    const QPoint *toPicturePixels(QPoint *points, int count) const;
    const PolygonList &toPicturePixels(const PolygonList &polygons);

    // Derived from the back material, 24 bits per pixel.
    QImage m_darkMaterial;
    QImage m_lightMaterial;
    QImage m_shadowMaterial;

    QSize m_size; // the widget's, in its own pixels
    QImage m_picture;
    std::optional<QRegion> m_visibleRegion;
    PolygonList m_lit;
    PolygonList m_unlit;

    // Scratch space kept between renders.
    std::vector<CellContent> m_cells;
    PolygonList m_cellLit;
    PolygonList m_cellUnlit;
    PolygonList m_scaled;
    PolygonSpans m_spans;
};

} // namespace lcd

} // namespace widgets
