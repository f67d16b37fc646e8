#pragma once

#include "widgets/Colors.h"
#include "widgets/FaceLayout.h"
#include "widgets/PolygonSpans.h"
#include "widgets/SegmentGeometry.h"

#include <QEvent>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QEnterEvent;
class QPainter;

// A simulated liquid-crystal display: a row of character cells drawn as slanted 7- or
// 9-segment digits or as 5x7 dot matrices, inside a double bevel, optionally turned and
// with bitmap materials. The complete look is rendered into an off-screen picture on every
// change; painting only copies it.
//
// SignNumber, IndicatorWidth, IndicatorHeight, IndicatorAngle and ColorScheme take full
// effect only once loaded() has run: the window that holds the display calls it after
// setting the stored properties, and so must code that creates one at run time.
class TIAeverLiquidIndicator : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(TIAColorScheme ColorScheme READ ColorScheme WRITE setColorScheme)
    Q_PROPERTY(int SignNumber READ SignNumber WRITE setSignNumber)
    Q_PROPERTY(int IndicatorWidth READ IndicatorWidth WRITE setIndicatorWidth)
    Q_PROPERTY(int IndicatorHeight READ IndicatorHeight WRITE setIndicatorHeight)
    Q_PROPERTY(int IndicatorAngle READ IndicatorAngle WRITE setIndicatorAngle)
    Q_PROPERTY(int IndicatorGap READ IndicatorGap WRITE setIndicatorGap)
    Q_PROPERTY(QString Indicatorstring READ Indicatorstring WRITE setIndicatorstring)
    Q_PROPERTY(TIAIndicatorKind IndicatorKind READ IndicatorKind WRITE setIndicatorKind)
    Q_PROPERTY(TIABevelKind InnerBevel READ InnerBevel WRITE setInnerBevel)
    Q_PROPERTY(TIABevelKind OuterBevel READ OuterBevel WRITE setOuterBevel)
    Q_PROPERTY(int InnerBevelWidth READ InnerBevelWidth WRITE setInnerBevelWidth)
    Q_PROPERTY(int OuterBevelWidth READ OuterBevelWidth WRITE setOuterBevelWidth)
    Q_PROPERTY(int BevelColor READ BevelColor WRITE setBevelColor)
    Q_PROPERTY(int BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(int NumberForeColor READ NumberForeColor WRITE setNumberForeColor)
    Q_PROPERTY(int NumberForeColor1 READ NumberForeColor1 WRITE setNumberForeColor1)
    Q_PROPERTY(int NumberBackColor READ NumberBackColor WRITE setNumberBackColor)
    Q_PROPERTY(TIAIndicatorStyle IndicatorStyle READ IndicatorStyle WRITE setIndicatorStyle)
    Q_PROPERTY(TIAMouseAction MouseAction READ MouseAction WRITE setMouseAction)
    Q_PROPERTY(TIATransparentMode TransparentMode READ TransparentMode WRITE setTransparentMode)
    Q_PROPERTY(QImage BackMaterial READ BackMaterial WRITE setBackMaterial)
    Q_PROPERTY(QImage ForeMaterial READ ForeMaterial WRITE setForeMaterial)
    Q_PROPERTY(TIAMaterialShadowMode MaterialShadowMode READ MaterialShadowMode WRITE
                   setMaterialShadowMode)
    Q_PROPERTY(TIAMaterialMode MaterialMode READ MaterialMode WRITE setMaterialMode)
    Q_PROPERTY(TIAMaterialMode ForeMaterialMode READ ForeMaterialMode WRITE setForeMaterialMode)

public:
    // A fixed underlying type: the property system may hand any int to a setter, which
    // must hold it before the range check can refuse it.
    enum TIAIndicatorKind : int {
        ik7segment = lcd::ik7segment,
        ik5x7matrix = lcd::ik5x7matrix,
        ik9segment = lcd::ik9segment
    };
    Q_ENUM(TIAIndicatorKind)
    enum TIABevelKind : int { bkUP, bkDown, bkNone };
    Q_ENUM(TIABevelKind)
    enum TIAIndicatorStyle : int {
        isThin = lcd::isThin,
        isNormal = lcd::isNormal,
        isThick = lcd::isThick
    };
    Q_ENUM(TIAIndicatorStyle)
    enum TIAMouseAction : int { maNone, maColor, maWidth, maBoth };
    Q_ENUM(TIAMouseAction)
    enum TIATransparentMode : int { tmNone, tmBackOnly, tmAll };
    Q_ENUM(TIATransparentMode)
    enum TIAColorScheme : int {
        csSilver,
        csInvSilver,
        csWhite,
        csBlack,
        csPlasma,
        csInvPlasma,
        csTIAN
    };
    Q_ENUM(TIAColorScheme)
    enum TIAMaterialShadowMode : int { msmDark, msmLight, msmNone };
    Q_ENUM(TIAMaterialShadowMode)
    enum TIAMaterialMode : int { mmStretch, mmTile };
    Q_ENUM(TIAMaterialMode)

    explicit TIAeverLiquidIndicator(QWidget *parent = nullptr);
    ~TIAeverLiquidIndicator() override;

    TIAColorScheme ColorScheme() const { return m_colorScheme; }
    virtual void setColorScheme(TIAColorScheme value);
    int SignNumber() const { return m_signNumber; }
    virtual void setSignNumber(int value);
    int IndicatorWidth() const { return m_indicatorWidth; }
    virtual void setIndicatorWidth(int value);
    int IndicatorHeight() const { return m_indicatorHeight; }
    virtual void setIndicatorHeight(int value);
    int IndicatorAngle() const { return m_indicatorAngle; }
    virtual void setIndicatorAngle(int value);
    int IndicatorGap() const { return m_indicatorGap; }
    virtual void setIndicatorGap(int value);
    QString Indicatorstring() const { return m_string; }
    virtual void setIndicatorstring(const QString &value);
    TIAIndicatorKind IndicatorKind() const { return m_kind; }
    virtual void setIndicatorKind(TIAIndicatorKind value);
    TIABevelKind InnerBevel() const { return m_innerBevel; }
    virtual void setInnerBevel(TIABevelKind value);
    TIABevelKind OuterBevel() const { return m_outerBevel; }
    virtual void setOuterBevel(TIABevelKind value);
    int InnerBevelWidth() const { return m_innerBevelWidth; }
    virtual void setInnerBevelWidth(int value);
    int OuterBevelWidth() const { return m_outerBevelWidth; }
    virtual void setOuterBevelWidth(int value);
    TColor BevelColor() const { return m_bevelColor; }
    virtual void setBevelColor(TColor value);
    TColor BackColor() const { return m_backColor; }
    virtual void setBackColor(TColor value);
    TColor NumberForeColor() const { return m_numberForeColor; }
    virtual void setNumberForeColor(TColor value);
    TColor NumberForeColor1() const { return m_numberForeColor1; }
    virtual void setNumberForeColor1(TColor value);
    TColor NumberBackColor() const { return m_numberBackColor; }
    virtual void setNumberBackColor(TColor value);
    TIAIndicatorStyle IndicatorStyle() const { return m_style; }
    virtual void setIndicatorStyle(TIAIndicatorStyle value);
    TIAMouseAction MouseAction() const { return m_mouseAction; }
    virtual void setMouseAction(TIAMouseAction value);
    TIATransparentMode TransparentMode() const { return m_transparentMode; }
    virtual void setTransparentMode(TIATransparentMode value);
    QImage BackMaterial() const { return m_backMaterial; }
    virtual void setBackMaterial(const QImage &value);
    QImage ForeMaterial() const { return m_foreMaterial; }
    virtual void setForeMaterial(const QImage &value);
    TIAMaterialShadowMode MaterialShadowMode() const { return m_materialShadowMode; }
    virtual void setMaterialShadowMode(TIAMaterialShadowMode value);
    TIAMaterialMode MaterialMode() const { return m_materialMode; }
    virtual void setMaterialMode(TIAMaterialMode value);
    TIAMaterialMode ForeMaterialMode() const { return m_foreMaterialMode; }
    virtual void setForeMaterialMode(TIAMaterialMode value);

    // The toolkit's after-loading step, run once the window's layout has been read.
    void loaded();
    bool isLoaded() const { return m_loaded; }

    // Recomputes every polygon and repaints the whole off-screen picture.
    void RenderIndicator();
    // Shapes the window to the turned face (only once the display has a parent).
    void UpdateWindowShape();

    // What the last rebuild produced. The picture has the screen's pixels (its device
    // pixel ratio times the widget's size); the polygons are in widget coordinates.
    const QImage &picture() const { return m_picture; }
    const lcd::PolygonList &litPolygons() const { return m_lit; }
    const lcd::PolygonList &unlitPolygons() const { return m_unlit; }
    // Present only in the transparent modes: what painting copies, in picture pixels.
    const std::optional<QRegion> &visibleRegion() const { return m_visibleRegion; }
    int rebuildCount() const { return m_rebuildCount; }

    QSize sizeHint() const override;

    // The number of the display's own deferred rebuild request.
    static QEvent::Type rebuildRequestType();

signals:
    void onMouseEnter(TIAeverLiquidIndicator *sender);
    void onMouseExit(TIAeverLiquidIndicator *sender);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    double angle() const;
    QSize turnedFaceSize() const;
    QRegion shapeInParent() const;
    void rebuild();
    void postRebuildRequest();
    void resizeFace();
    void PrepareMaterials();
    void layOutPolygons();
    void placePoints(QPoint *points, int count, int shift) const;
    // No clip draws over the whole picture.
    void drawMaterial(const QImage &material, TIAMaterialMode mode,
                      const std::optional<QRegion> &clip);
    void paintBevel(TIABevelKind kind, int inset, int width, double theta);
    void addVisible(const QRegion &region);
    qreal pictureRatio() const;
    void clipToPicturePixels(QPainter &painter, const QRegion &clip) const;
    const QPoint *toPicturePixels(QPoint *points, int count) const;
    const lcd::PolygonList &toPicturePixels(const lcd::PolygonList &polygons);

    TIAColorScheme m_colorScheme = csSilver;
    int m_signNumber = 10;
    int m_indicatorWidth = 172;
    int m_indicatorHeight = 36;
    int m_indicatorAngle = 0;
    int m_indicatorGap = 2;
    QString m_string;
    std::string m_text; // the string as 8-bit characters
    TIAIndicatorKind m_kind = ik7segment;
    TIABevelKind m_innerBevel = bkDown;
    TIABevelKind m_outerBevel = bkUP;
    int m_innerBevelWidth = 2;
    int m_outerBevelWidth = 2;
    TColor m_bevelColor = 0xDDDDDD;
    TColor m_backColor = 0xDDDDDD;
    TColor m_numberForeColor = 0x363636;
    TColor m_numberForeColor1 = 0x0000FF;
    TColor m_numberBackColor = 0xD3D3D3;
    TIAIndicatorStyle m_style = isNormal;
    TIAMouseAction m_mouseAction = maNone;
    TIATransparentMode m_transparentMode = tmNone;
    QImage m_backMaterial;
    QImage m_foreMaterial;
    TIAMaterialShadowMode m_materialShadowMode = msmDark;
    TIAMaterialMode m_materialMode = mmStretch;
    TIAMaterialMode m_foreMaterialMode = mmStretch;

    // Derived from BackMaterial, 24 bits per pixel.
    QImage m_darkMaterial;
    QImage m_lightMaterial;
    QImage m_shadowMaterial;

    bool m_mouseInside = false;
    bool m_loaded = false;
    QImage m_picture;
    std::optional<QRegion> m_visibleRegion;
    lcd::PolygonList m_lit;
    lcd::PolygonList m_unlit;
    int m_rebuildCount = 0;
    bool m_rebuildRequested = false; // a change waits for the posted rebuild
    bool m_requestQueued = false;    // a rebuild request is in the event queue

    // Scratch space kept between rebuilds.
    std::vector<lcd::CellContent> m_cells;
    lcd::PolygonList m_cellLit;
    lcd::PolygonList m_cellUnlit;
    lcd::PolygonList m_scaled;
    PolygonSpans m_spans;
};
