#pragma once
// How the system's buttons answer the pointer: a faint white wash under the
// pointer, a stronger one while pressed, a slight shrink (icons also grow a
// little under the pointer), and for bare text a brighter label instead of a
// wash. The values here are the settled ones; PressButton animates between
// them through two amounts, hover and press, each running from 0 to 1.

#include "ui/motion.h"

#include <limits>

class QPainterPath;
class QRectF;

struct PressStyle {
    enum class Kind {
        surface, // a panel-like button
        icon,    // an icon-only button
        row,     // a full-width row button
        text,    // a bare text button, without a wash
    };

    // A radius of infinity makes a capsule.
    static constexpr double capsule = std::numeric_limits<double>::infinity();

    static constexpr PressStyle surface(double radius) { return {Kind::surface, radius}; }
    static constexpr PressStyle icon(double radius) { return {Kind::icon, radius}; }
    static constexpr PressStyle row(double radius) { return {Kind::row, radius}; }
    static constexpr PressStyle text() { return {Kind::text, 0}; }

    Kind kind = Kind::surface;
    double radius = 0; // corner radius of the wash

    bool hasWash() const { return kind != Kind::text; }

    // The white wash's opacity at hover and press amounts in [0, 1] (the
    // settled table: pressed 0.09, hover 0.055, else 0); pressing wins.
    double washOpacity(double hover, double press) const;
    // Scale about the centre; always 1 with reduce motion.
    double scale(double hover, double press, bool reduceMotion) const;
    // The largest scale the kind reaches: a button leaves that much room
    // around its resting size, so growing under the pointer is not clipped.
    double maxScale() const { return kind == Kind::icon ? 1.04 : 1; }
    // Added to the label's colour channels: +0.14 for hovered text, then
    // −0.05 while pressed.
    double labelBrightness(double hover, double press) const;
    // Added to the wash's channels: −0.05 while pressed.
    static double washBrightness(double press);

    // The wash's outline in `rect`: a rounded rectangle, or a capsule for an
    // infinite radius; empty for text.
    QPainterPath washShape(const QRectF& rect) const;

    friend bool operator==(const PressStyle&, const PressStyle&) = default;
};

// The press amount of one button, 0 at rest and 1 held down. Pressing in
// eases over Motion::quick × 0.6; letting go springs back with response
// Motion::quick × 1.5 and damping 0.72 (1 under reduce motion), so the
// button settles with a slight bounce past rest.
class PressMotion {
public:
    double value() const { return value_; }
    bool pressed() const { return pressed_; }
    bool moving() const { return phase_ != Phase::rest; }

    void setPressed(bool pressed, bool reduceMotion);
    // Advances by dt seconds; true while still moving.
    bool step(double dt);
    // Jumps to where it is heading, at rest.
    void finish();

    // The timings, for a given Motion::quick.
    static double pressDuration(double quick) { return quick * 0.6; }
    static double releaseResponse(double quick) { return quick * 1.5; }
    static double releaseDamping(bool reduceMotion) { return reduceMotion ? 1 : 0.72; }

private:
    enum class Phase { rest, easing, springing };
    Phase phase_ = Phase::rest;
    bool pressed_ = false;
    double value_ = 0;
    double velocity_ = 0;
    // The ease in: from where it started, for how long so far.
    double from_ = 0;
    double elapsed_ = 0;
    Spring spring_{0};
};
