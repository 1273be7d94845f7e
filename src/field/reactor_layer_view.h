#pragma once
// The reactor gauge: per-core lit wedges over a heat-banded ring, the memory
// ring inside it, a glow and an endless pulse whose pace follows the CPU.
// Ticks, tracks, letters and heat bands are drawn once into images at the
// screen's pixel ratio; each sample changes only the wedges, the memory
// arcs, the glow colour and the pulse pace.

// moc cannot parse the standard library's concepts, reached through
// <compare>; it needs none of these.
#ifndef Q_MOC_RUN
#include "core/date.h"
#include "core/records.h"
#include "field/reactor_geometry.h"
#include "field/reactor_readout.h"
#endif
#include "ui/window_watch.h"

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

class ReactorLayerView : public QWidget {
    Q_OBJECT

public:
    struct Model {
        std::vector<double> cores;
        std::array<double, 4> mem{}; // app, wired, compressed, cached
        double cpu = 0;
        std::vector<CoreKind> kinds;
        Date stamp{-1e18};

        bool operator==(const Model&) const = default;
    };

    static constexpr double wedgeDuration = 0.7;
    // The pulse repaints at most this often.
    static constexpr double pulseRate = 30;
    // While the wedges ease, frames come at least this often.
    static constexpr double easeFrame = 1.0 / 15;

    static const std::array<QColor, 4>& memColors();

    explicit ReactorLayerView(QWidget* parent = nullptr);
    ~ReactorLayerView() override;

    void apply(const Model& model);
    const Model& model() const { return model_; }

    // The figures in the middle of the ring: the CPU percent, large, over
    // the GPU and load line. Drawn once into a picture that every pulse
    // frame lays over the rings.
    void setReadout(const QString& percent, const QString& detail);
    QString readoutPercent() const { return percent_; }
    // Where the figures and letters went when last painted.
    const ReactorReadout& readout() const { return readout_; }
    // How the readout's texts measure in the fonts the gauge sets them in,
    // for these figures; and those fonts.
    static ReactorReadout::Measure readoutMeasure(const QString& percent, const QString& detail);
    static QFont readoutFont(ReactorReadout::Part part, double size);

    // The loads the wedges show now (they ease towards the model's).
    const std::vector<double>& shownLoads() const { return shown_; }
    // Pulse cycles run so far; each copy grows from 0.41 to 1 of its radius
    // once a cycle.
    double pulsePhase() const { return phase_; }
    double pulseSpeed() const { return 0.3 + 1.7 * std::clamp(model_.cpu, 0.0, 1.0); }
    bool ticking() const;
    // Repaints the pulse asked for since the view was made.
    int pulseRepaints() const { return pulseRepaints_; }
    // The square the pulse and glow cover.
    QRectF pulseBox() const;

    // One clock frame of `dt` seconds, as the shared clock calls it; public
    // so tests and benchmarks can drive the view.
    bool frame(double dt);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Built {
        int width = 0, height = 0;
        std::size_t cores = 0;
        double ratio = 0;
        QColor ground;
        bool operator==(const Built&) const = default;
    };

    bool live() const;
    void startClock();
    void stopClock();
    double nextWake() const;
    double pulseGrowth() const;
    void rebuildIfNeeded(double ratio);
    void indexLit(const ReactorGeometry& g, double ratio);
    void paintGround();
    void paintScene(double ratio);
    void paintWedge(QRgb* out, const QRgb* under, std::size_t from, std::size_t to, float reach) const;
    void stampRing(double radius, double width, const QColor& color, double alpha);
    void composePulse();
    void paintReadout(double ratio);
    QRegion changedWedges(const std::vector<int>& extents) const;
    int pulseStep() const;
    std::vector<int> wedgeExtents() const;

    Model model_;
    std::vector<double> from_;
    std::vector<double> to_;
    std::vector<double> shown_;
    double progress_ = 1;
    double phase_ = 0;
    double pending_ = 0;
    int paintedPulse_ = -1;
    std::vector<int> paintedWedges_;
    std::vector<double> paintedLoads_;
    int pulseRepaints_ = 0;
    WindowWatch windowWatch_{this, [this] { startClock(); }};

    Built built_;
    struct LitPixel {
        int offset;          // in the base image, in pixels
        QRgb color;          // premultiplied
        std::uint32_t sector;
        float distance;      // from the centre, in device pixels
    };

    QImage base_;
    // Base, glow and memory ring: changes once a sample.
    QImage ground_;
    bool groundDirty_ = true;
    // The ground and the wedges: all but the pulse.
    QImage scene_;
    bool sceneDirty_ = true;
    std::vector<LitPixel> litPixels_;
    // Where each sector's pixels begin in litPixels_, and one past the last.
    std::vector<std::size_t> sectorStarts_;
    // The wedge reach each sector was last drawn with in the scene.
    std::vector<float> sceneReach_;
    // Each sector's lit pixels' bounds, in device pixels of the view.
    std::vector<QRect> sectorBoxes_;
    // The pulse box's pixels, nearest the centre first, so a ring touches
    // only the pixels within its reach.
    struct RingPixel {
        float distance;
        int offset;
    };
    std::vector<RingPixel> ringPixels_;
    struct GlowPixel {
        int offset;
        int weight; // of 256
    };
    std::vector<GlowPixel> glowPixels_;
    // The pulse's own picture: the scene under the pulse box, the rings
    // and the figures, composed afresh for each frame and copied to the
    // screen alone, so a frame touches one small, warm image.
    QImage pulse_;
    // Where it lies in the scene, in device pixels, and in the view.
    QRect pulseRect_;
    QRect pulseArea_;
    // Readout pixels the pulse box leaves out, stamped into the scene for
    // a larger blit, with what lay there before.
    std::vector<std::pair<int, QRgb>> stamped_;
    QImage lit_;
    QRectF litBox_;

    QString percent_;
    QString detail_;
    // The readout's inked pixels, premultiplied: those inside the pulse
    // box by their offset in its picture, the rest by their offset in the
    // scene.
    std::vector<std::pair<int, QRgb>> readoutPixels_;
    std::vector<std::pair<int, QRgb>> readoutOutside_;
    QRectF readoutBox_;
    ReactorReadout readout_;
    bool readoutDirty_ = true;
};
