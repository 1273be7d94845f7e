#include "app/header_bar.h"
#include "app/view_fixture.h"
#include "settings/network_pane.h"
#include "settings/settings_view.h"
#include "settings/welcome_view.h"
#include "ui/switch.h"
#include "ui/toggle_row.h"
#include "settings/illustrations.h"

#include <QPaintDevice>
#include <QPaintEngine>

#include <vector>

class TourSettingsTest : public ViewTest {};

// The tour's reverse-lookup switch and the settings window's are two views
// of one preference: a flip in either shows in the other at once.
TEST_F(TourSettingsTest, BothSwitchesShowOnePreference)
{
    auto m = make();
    SwitchesIllustration tour(*m);
    NetworkPane settings(*m);
    showOffscreen(tour);
    showOffscreen(settings, {560, 600});
    ASSERT_TRUE(m->prefs().resolveHosts);

    tour.resolveSwitch()->click();
    runPending();
    EXPECT_FALSE(m->prefs().resolveHosts);
    EXPECT_FALSE(settings.resolveRow()->toggle()->isOn());

    settings.resolveRow()->toggle()->click();
    runPending();
    EXPECT_TRUE(m->prefs().resolveHosts);
    EXPECT_TRUE(tour.resolveSwitch()->isOn());
}

namespace {

// A paint device that keeps the text drawn on it, with its font.
class TextRecorder final : public QPaintDevice {
public:
    std::vector<std::pair<QString, QFont>> fontsOf(QWidget& widget)
    {
        engine_.drawn.clear();
        widget.render(this);
        return engine_.drawn;
    }
    QPaintEngine* paintEngine() const override { return &engine_; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 2000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    struct Engine final : QPaintEngine {
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override
        {
            drawn.emplace_back(item.text(), item.font());
        }
        Type type() const override { return User; }
        std::vector<std::pair<QString, QFont>> drawn;
    };
    mutable Engine engine_;
};

} // namespace

// The header, the settings sidebar and the tour each draw the word-mark,
// all three in the one heavy weight at the expanded width.
TEST_F(TourSettingsTest, TheWordMarkIsOneFaceWhereverItIsDrawn)
{
    auto m = make();
    HeaderBar header(*m);
    SettingsView settings(*m);
    WelcomeView tour(*m, nullptr, 0.0);
    showOffscreen(header, {1200, HeaderBar::barHeight});
    showOffscreen(settings);
    showOffscreen(tour, {1200, 800});
    advance(1);
    settle();

    TextRecorder recorder;
    for (QWidget* widget : std::initializer_list<QWidget*>{&header, &settings, &tour}) {
        int marks = 0;
        for (const auto& [text, font] : recorder.fontsOf(*widget)) {
            if (text != "TAVRIN")
                continue;
            ++marks;
            EXPECT_EQ(font.weight(), QFont::ExtraBold) << widget->metaObject()->className();
            EXPECT_EQ(font.stretch(), QFont::SemiExpanded) << widget->metaObject()->className();
        }
        EXPECT_EQ(marks, 1) << widget->metaObject()->className();
    }
}
