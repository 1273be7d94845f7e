#pragma once
// The ribbons between the Flows columns, in one painted widget. The base
// lines are drawn once into a picture whenever the ribbon list or the width
// changes; each frame strokes only the dashed lines of the ribbons that
// carry traffic, and only where their dashes moved by a device pixel. The
// frame clock runs only while some ribbon flows and the view is on screen.

#include "network/flow_ribbons.h"
#include "ui/window_watch.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <memory>
#include <vector>

class FlowRibbonsView : public QWidget {
    Q_OBJECT

public:
    explicit FlowRibbonsView(QWidget* parent = nullptr);
    ~FlowRibbonsView() override;

    double rowHeight() const { return rowHeight_; }
    // Takes effect with the next ribbon list or width; alone it draws nothing.
    void setRowHeight(double rowHeight) { rowHeight_ = rowHeight; }

    const std::vector<FlowRibbons::Ribbon>& ribbons() const { return ribbons_; }
    // An equal list costs nothing.
    void setRibbons(const std::vector<FlowRibbons::Ribbon>& ribbons);

    // A view kept built behind another mode stops its dashes.
    void setPaused(bool paused);

    // Whether the frame clock drives the dashes now.
    bool ticking() const;
    // The dash phase of a ribbon, for the tests; 0 for an unknown id.
    double phase(const QString& id) const;
    // Times the base picture was drawn.
    int baseDraws() const { return baseDraws_; }

    // One frame: moves every running dash on and returns the area whose
    // dashes moved by a device pixel since they were painted.
    QRegion advance(double dt);
    // Paints the picture and the dashes inside `clip`.
    void paintRibbons(QPainter& painter, const QRect& clip);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // A pixel near a dashed line: where it lies along the line and how far
    // from it.
    struct FlowTexel {
        uint32_t index;
        float along;   // within one dash cycle
        float alpha;   // inside a dash: coverage times the ribbon's opacity
        float apart2;  // the squared distance from the curve, in view pixels
    };
    struct Drawn {
        QString id;
        FlowRibbons::Style style;
        QRect bounds;           // the line's area, pen included, in view pixels
        std::vector<FlowTexel> texels;
        FlowRibbons::Dash dash;
        double paintedPhase = 0;
    };

    void render();
    void blendDashes(const Drawn& d, int firstRow, int endRow);
    bool live() const;
    void syncClock();

    double rowHeight_ = 36;
    std::vector<FlowRibbons::Ribbon> ribbons_;
    std::vector<Drawn> drawn_;
    double builtWidth_ = 0;
    // The still lines over the ground, and the frame they are copied into
    // before the dashes are blended in; both in device pixels.
    QImage base_;
    QImage frame_;
    double ratio_ = 1;
    // The pixels near each curve by its two rows, kept while the size and
    // the row height hold: a new sample mostly only changes widths.
    QHash<quint64, std::shared_ptr<const std::vector<FlowRibbons::Texel>>> places_;
    QSize placedPixels_;
    double placedRowHeight_ = 0;
    int baseDraws_ = 0;
    bool paused_ = false;
    WindowWatch windowWatch_{this, [this] { syncClock(); }};
};
