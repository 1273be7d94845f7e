#pragma once
// The welcome tour's emblem, painted from LogoTimeline at the time since it
// started playing. It rides the shared frame clock while it is visible and
// stops when hidden. Once the entrance is over only the ring pulses, and
// only the ring's square is repainted, and only when the ring has grown by
// a device pixel or faded by a visible step.

#include "settings/logo_timeline.h"

#include <QWidget>

class WelcomeLogoView : public QWidget {
    Q_OBJECT

public:
    static constexpr int side = 168;

    explicit WelcomeLogoView(QWidget* parent = nullptr);
    ~WelcomeLogoView() override;

    // Seconds since the logo started playing.
    double elapsed() const { return elapsed_; }
    const LogoTimeline::State& state() const { return state_; }
    bool playing() const;
    // Starts again from the beginning.
    void play();
    // Jumps to `seconds` after the start (benchmarks, tests).
    void seek(double seconds);
    // Painted frames, whole or in part (tests).
    int paints() const { return paints_; }

    QSize sizeHint() const override { return {side, side}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool frame(double dt);
    void subscribe();
    // The square the ring can reach, in widget pixels.
    QRect ringRect() const;
    double unit() const { return width() / LogoTimeline::units; }

    LogoTimeline::Durations durations_;
    bool reduced_ = false;
    double elapsed_ = 0;
    LogoTimeline::State state_;
    // The ring as last painted, in device pixels and alpha steps.
    int ringRadiusPx_ = -1;
    int ringAlpha_ = -1;
    int paints_ = 0;
};
