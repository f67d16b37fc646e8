#pragma once

#include "widgets/CoalescedRequest.h"
#include "widgets/Colors.h"
#include "widgets/IAgaloLEDRender.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>

class QEvent;

namespace widgets {

// An indicator lamp: a shaded plastic body in a gap and two bevelled rings, in one of six
// outlines, optionally turned and surrounded by a glow. Every change of the look renders the
// lamp once into an off-screen picture; painting copies that picture.
class TIAgaloLED : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(iaglo::TIALedClass LedClass READ LedClass WRITE setLedClass)
    Q_PROPERTY(int LedWidth READ LedWidth WRITE setLedWidth)
    Q_PROPERTY(int LedHeight READ LedHeight WRITE setLedHeight)
    Q_PROPERTY(bool LedOn READ LedOn WRITE setLedOn)
    Q_PROPERTY(int LedPlasticColor READ LedPlasticColor WRITE setLedPlasticColor)
    Q_PROPERTY(int LedPlasticDepth READ LedPlasticDepth WRITE setLedPlasticDepth)
    Q_PROPERTY(QImage LedPlasticSubstance READ LedPlasticSubstance WRITE setLedPlasticSubstance)
    Q_PROPERTY(iaglo::TIAglSubstanceMode LedPlasticSubsMode READ LedPlasticSubsMode WRITE
                   setLedPlasticSubsMode)
    Q_PROPERTY(int Gap READ Gap WRITE setGap)
    Q_PROPERTY(int GapColor READ GapColor WRITE setGapColor)
    Q_PROPERTY(
        iaglo::TIABorderLedStyle InnerBorderStyle READ InnerBorderStyle WRITE setInnerBorderStyle)
    Q_PROPERTY(int InnerBorderDepth READ InnerBorderDepth WRITE setInnerBorderDepth)
    Q_PROPERTY(
        iaglo::TIABorderLedStyle OuterBorderStyle READ OuterBorderStyle WRITE setOuterBorderStyle)
    Q_PROPERTY(int OuterBorderDepth READ OuterBorderDepth WRITE setOuterBorderDepth)
    Q_PROPERTY(int BorderColor READ BorderColor WRITE setBorderColor)
    Q_PROPERTY(QImage BorderSubstance READ BorderSubstance WRITE setBorderSubstance)
    Q_PROPERTY(iaglo::TIAglSubstanceMode BorderSubsMode READ BorderSubsMode WRITE setBorderSubsMode)
    Q_PROPERTY(int Angle READ Angle WRITE setAngle)
    Q_PROPERTY(bool GaloON READ GaloON WRITE setGaloON)
    Q_PROPERTY(int GaloSize READ GaloSize WRITE setGaloSize)
    Q_PROPERTY(int GaloIntensity READ GaloIntensity WRITE setGaloIntensity)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)

public:
    using TIALedClass = iaglo::TIALedClass;
    using TIABorderLedStyle = iaglo::TIABorderLedStyle;
    using TIAglSubstanceMode = iaglo::TIAglSubstanceMode;

    explicit TIAgaloLED(QWidget *parent = nullptr);
    ~TIAgaloLED() override;

    TIALedClass LedClass() const { return m_look.ledClass; }
    void setLedClass(TIALedClass value);
    int LedWidth() const { return m_look.ledWidth; }
    void setLedWidth(int value);
    int LedHeight() const { return m_look.ledHeight; }
    void setLedHeight(int value);
    bool LedOn() const { return m_look.ledOn; }
    void setLedOn(bool value);
    TColor LedPlasticColor() const { return m_plasticColor; }
    void setLedPlasticColor(TColor value);
    int LedPlasticDepth() const { return m_look.plasticDepth; }
    void setLedPlasticDepth(int value);
    QImage LedPlasticSubstance() const { return m_plasticSubstance; }
    void setLedPlasticSubstance(const QImage &picture);
    TIAglSubstanceMode LedPlasticSubsMode() const { return m_look.plasticMode; }
    void setLedPlasticSubsMode(TIAglSubstanceMode value);
    int Gap() const { return m_look.gap; }
    void setGap(int value);
    TColor GapColor() const { return m_gapColor; }
    void setGapColor(TColor value);
    TIABorderLedStyle InnerBorderStyle() const { return m_look.innerStyle; }
    void setInnerBorderStyle(TIABorderLedStyle value);
    int InnerBorderDepth() const { return m_look.innerDepth; }
    void setInnerBorderDepth(int value);
    TIABorderLedStyle OuterBorderStyle() const { return m_look.outerStyle; }
    void setOuterBorderStyle(TIABorderLedStyle value);
    int OuterBorderDepth() const { return m_look.outerDepth; }
    void setOuterBorderDepth(int value);
    TColor BorderColor() const { return m_borderColor; }
    void setBorderColor(TColor value);
    QImage BorderSubstance() const { return m_borderSubstance; }
    void setBorderSubstance(const QImage &picture);
    TIAglSubstanceMode BorderSubsMode() const { return m_look.borderMode; }
    void setBorderSubsMode(TIAglSubstanceMode value);
    int Angle() const { return m_look.angle; }
    void setAngle(int value);
    bool GaloON() const { return m_galoOn; }
    void setGaloON(bool value);
    int GaloSize() const { return m_galoSize; }
    void setGaloSize(int value);
    int GaloIntensity() const { return m_galoIntensity; }
    void setGaloIntensity(int value);
    int Width() const { return width(); }
    void setWidth(int value);
    int Height() const { return height(); }
    void setHeight(int value);

    // The toolkit's after-loading step.
    void loaded();

    // Renders the off-screen picture now (normally deferred to the next paint or the
    // posted rebuild, so that several changes cost one render).
    void RenderLed();
    // The off-screen picture, rendered first when a change is pending.
    const QImage &picture();
    const iaglo::LedOutlines &ledOutlines() const { return m_outlines; }
    QSize boundingSize() const { return m_bounding; }
    int renderCount() const { return m_renders; }

    QSize sizeHint() const override { return m_bounding; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    class Glow;

    // Applies a change of the lamp's shape, unless the lamp would outgrow MaxLampSide.
    bool reshapes(const std::function<void(iaglo::LedLook &)> &change);
    void reshape();
    void followSize();
    void sizeChanged();
    void rebuildOutlines();
    void requestRender();
    void placeGlow();

    iaglo::LedLook m_look;
    TColor m_plasticColor = 0x0000FF; // clRed
    TColor m_gapColor = 0x808080;     // clGray
    TColor m_borderColor = 0x808080;
    QImage m_plasticSubstance;
    QImage m_borderSubstance;
    iaglo::LedTextures m_textures;
    bool m_galoOn = false;
    int m_galoSize = 10;
    int m_galoIntensity = 5;

    QSize m_bounding{24, 14};
    QSize m_handledSize{24, 14};
    iaglo::LedOutlines m_outlines;
    QImage m_picture;
    CoalescedRequest m_render;
    int m_renders = 0;
    QPointer<Glow> m_glow;
};

} // namespace widgets
