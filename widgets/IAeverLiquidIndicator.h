#pragma once

#include "widgets/CoalescedRequest.h"
#include "widgets/Colors.h"
#include "widgets/LiquidIndicatorRenderer.h"
#include "widgets/SegmentGeometry.h"

#include <QEvent>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <optional>

class QEnterEvent;

namespace widgets {

// A simulated liquid-crystal display: a row of character cells drawn as slanted 7- or
// 9-segment digits or as 5x7 dot matrices, inside a double bevel, optionally turned and
// with bitmap materials. A change only marks the look as changed; the complete look is
// rendered into an off-screen picture once (by LiquidIndicatorRenderer, from the property
// values) when the paint step or the one posted request comes; painting copies it.
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
    enum TIABevelKind : int { bkUP = lcd::bkUP, bkDown = lcd::bkDown, bkNone = lcd::bkNone };
    Q_ENUM(TIABevelKind)
    enum TIAIndicatorStyle : int {
        isThin = lcd::isThin,
        isNormal = lcd::isNormal,
        isThick = lcd::isThick
    };
    Q_ENUM(TIAIndicatorStyle)
    enum TIAMouseAction : int {
        maNone = lcd::maNone,
        maColor = lcd::maColor,
        maWidth = lcd::maWidth,
        maBoth = lcd::maBoth
    };
    Q_ENUM(TIAMouseAction)
    enum TIATransparentMode : int {
        tmNone = lcd::tmNone,
        tmBackOnly = lcd::tmBackOnly,
        tmAll = lcd::tmAll
    };
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
    enum TIAMaterialShadowMode : int {
        msmDark = lcd::msmDark,
        msmLight = lcd::msmLight,
        msmNone = lcd::msmNone
    };
    Q_ENUM(TIAMaterialShadowMode)
    enum TIAMaterialMode : int { mmStretch = lcd::mmStretch, mmTile = lcd::mmTile };
    Q_ENUM(TIAMaterialMode)

    explicit TIAeverLiquidIndicator(QWidget *parent = nullptr);
    ~TIAeverLiquidIndicator() override;

    TIAColorScheme ColorScheme() const { return m_colorScheme; }
    virtual void setColorScheme(TIAColorScheme value);
    int SignNumber() const { return m_look.signNumber; }
    virtual void setSignNumber(int value);
    int IndicatorWidth() const { return m_look.indicatorWidth; }
    virtual void setIndicatorWidth(int value);
    int IndicatorHeight() const { return m_look.indicatorHeight; }
    virtual void setIndicatorHeight(int value);
    int IndicatorAngle() const { return m_look.indicatorAngle; }
    virtual void setIndicatorAngle(int value);
    int IndicatorGap() const { return m_look.indicatorGap; }
    virtual void setIndicatorGap(int value);
    QString Indicatorstring() const { return m_string; }
    virtual void setIndicatorstring(const QString &value);
    TIAIndicatorKind IndicatorKind() const { return TIAIndicatorKind(m_look.kind); }
    virtual void setIndicatorKind(TIAIndicatorKind value);
    TIABevelKind InnerBevel() const { return TIABevelKind(m_look.innerBevel); }
    virtual void setInnerBevel(TIABevelKind value);
    TIABevelKind OuterBevel() const { return TIABevelKind(m_look.outerBevel); }
    virtual void setOuterBevel(TIABevelKind value);
    int InnerBevelWidth() const { return m_look.innerBevelWidth; }
    virtual void setInnerBevelWidth(int value);
    int OuterBevelWidth() const { return m_look.outerBevelWidth; }
    virtual void setOuterBevelWidth(int value);
    TColor BevelColor() const { return m_look.bevelColor; }
    virtual void setBevelColor(TColor value);
    TColor BackColor() const { return m_look.backColor; }
    virtual void setBackColor(TColor value);
    TColor NumberForeColor() const { return m_look.numberForeColor; }
    virtual void setNumberForeColor(TColor value);
    TColor NumberForeColor1() const { return m_look.numberForeColor1; }
    virtual void setNumberForeColor1(TColor value);
    TColor NumberBackColor() const { return m_look.numberBackColor; }
    virtual void setNumberBackColor(TColor value);
    TIAIndicatorStyle IndicatorStyle() const { return TIAIndicatorStyle(m_look.style); }
    virtual void setIndicatorStyle(TIAIndicatorStyle value);
    TIAMouseAction MouseAction() const { return TIAMouseAction(m_look.mouseAction); }
    virtual void setMouseAction(TIAMouseAction value);
    TIATransparentMode TransparentMode() const
    {
        return TIATransparentMode(m_look.transparentMode);
    }
    virtual void setTransparentMode(TIATransparentMode value);
    QImage BackMaterial() const { return m_look.backMaterial; }
    virtual void setBackMaterial(const QImage &value);
    QImage ForeMaterial() const { return m_look.foreMaterial; }
    virtual void setForeMaterial(const QImage &value);
    TIAMaterialShadowMode MaterialShadowMode() const
    {
        return TIAMaterialShadowMode(m_look.materialShadowMode);
    }
    virtual void setMaterialShadowMode(TIAMaterialShadowMode value);
    TIAMaterialMode MaterialMode() const { return TIAMaterialMode(m_look.materialMode); }
    virtual void setMaterialMode(TIAMaterialMode value);
    TIAMaterialMode ForeMaterialMode() const { return TIAMaterialMode(m_look.foreMaterialMode); }
    virtual void setForeMaterialMode(TIAMaterialMode value);

    // The toolkit's after-loading step, run once the window's layout has been read.
    void loaded();
    bool isLoaded() const { return m_loaded; }

    // Recomputes every polygon and repaints the whole off-screen picture.
    void RenderIndicator();
    // Shapes the window to the turned face (only once the display has a parent).
    void UpdateWindowShape();

    // Renders now if a change is pending, as the paint step would.
    void renderIfPending();
    // What the render produced, rendered first when a change is pending. The picture has
    // the screen's pixels (its device pixel ratio times the widget's size); the polygons
    // are in widget coordinates.
    const QImage &picture()
    {
        renderIfPending();
        return m_renderer.picture();
    }
    const lcd::PolygonList &litPolygons()
    {
        renderIfPending();
        return m_renderer.litPolygons();
    }
    const lcd::PolygonList &unlitPolygons()
    {
        renderIfPending();
        return m_renderer.unlitPolygons();
    }
    // Present only in the transparent modes: what painting copies, in picture pixels.
    const std::optional<QRegion> &visibleRegion()
    {
        renderIfPending();
        return m_renderer.visibleRegion();
    }
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
    QRegion shapeInParent() const;
    // A plain property: refused unless accepted, ignored when equal, else stored and a
    // render requested.
    template <typename Field, typename Value>
    void change(Field &field, Value value, bool accepted = true);
    // Every change ends here: the paint step or the one posted request renders once for
    // every change made before it.
    void requestRender();
    void resizeFace();

    TIAColorScheme m_colorScheme = csSilver;
    QString m_string;
    lcd::IndicatorLook m_look;
    lcd::LiquidIndicatorRenderer m_renderer;

    bool m_loaded = false;
    int m_rebuildCount = 0;
    CoalescedRequest m_rebuild{this, rebuildRequestType()};
};

} // namespace widgets
