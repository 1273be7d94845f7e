#pragma once
// The first-run tour: an overlay over the whole main window with the
// emblem, the word-mark, one page per step (counter, headline, detail,
// illustration) and a footer with Skip, four progress dots, Back and
// Continue. The arrow keys, Return and Esc drive it. It ends itself through
// Monitor::finishWelcome(); every wait it starts (the welcome cue, the
// fade-in, the automatic run) ends with it.

#include "model/monitor.h"
#include "ui/animation.h"
#include "ui/scheduler.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class Defaults;
class PressButton;
class StepDots;
class WelcomeLogoView;
class WelcomePage;

class WelcomeView : public QWidget {
    Q_OBJECT

public:
    static constexpr int steps = 4;
    static constexpr int columnWidth = 640;
    static constexpr int pageHeight = 300;
    // The emblem's side on the shortest windows.
    static constexpr int minLogoSide = 88;
    static constexpr double pageShift = 26;
    static constexpr double appearDelay = 0.55;
    static constexpr double cueDelay = 0.12;

    // The automatic run's seconds per step, from "welcomeAuto" (read once
    // per process); 0 or less turns it off.
    static double autoAdvance();
    static double readAutoAdvance(const Defaults& defaults);

    // Where a tour stands: what a tour built anew (the window's content is
    // rebuilt when the language changes) needs to go on from there.
    struct Place {
        int step = 0;
        int direction = 1;
        bool appeared = false;
        double since = 0; // seconds on screen
        int cycles = 0;   // cycles of the automatic run done
        bool operator==(const Place&) const = default;
    };

    // `autoSeconds` replaces the "welcomeAuto" default (tests). A tour
    // built `from` a place goes on from it: same step, no second entrance
    // or welcome cue, and the automatic run keeps its count.
    explicit WelcomeView(Monitor& monitor, QWidget* parent = nullptr,
                         std::optional<double> autoSeconds = std::nullopt,
                         std::optional<Place> from = std::nullopt);
    ~WelcomeView() override;

    int step() const { return step_; }
    int direction() const { return direction_; }
    bool appeared() const { return appeared_; }
    bool finished() const { return finished_; }
    Place place() const;

    // The texts of a step, in the current language; any step past 2 is the
    // last one.
    static QString counter(int step);
    static QString headline(int step);
    static QString detail(int step);

    void advance();
    void back();
    void skip();

    WelcomePage* page() const { return page_; }
    WelcomeLogoView* logo() const { return logo_; }
    PressButton* skipButton() const { return skip_; }
    PressButton* backButton() const { return back_; }
    PressButton* continueButton() const { return continue_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void forward();
    void finish();
    void showStep(int step);
    void layoutChildren();
    void restyleFooter();
    void scheduleCycle(int cycle, std::uint64_t token);
    void animate();
    bool stepFrame(double dt);
    QRect column() const;

    Monitor& monitor_;
    double autoSeconds_;
    int step_ = 0;
    int direction_ = 1;
    bool appeared_ = false;
    bool started_ = false;
    bool finished_ = false;
    double since_ = 0;  // on screen before this build
    double shownAt_ = 0;
    int cycles_ = 0;
    Token token_;

    WelcomeLogoView* logo_ = nullptr;
    QPointer<WelcomePage> page_;
    QPointer<WelcomePage> leaving_;
    PressButton* skip_ = nullptr;
    PressButton* back_ = nullptr;
    PressButton* continue_ = nullptr;
    StepDots* dots_ = nullptr;

    AnimatedValue appear_{0};   // word-mark, page and footer fade in
    AnimatedValue pageIn_{1};   // the entering page, 0 to 1
    AnimatedValue skipShown_{1};
    AnimatedValue backShown_{0};
};

// One step's page: counter, headline and detail painted, the illustration
// below them as a child.
class WelcomePage : public QWidget {
    Q_OBJECT

public:
    WelcomePage(Monitor& monitor, int step, QWidget* parent = nullptr);
    int step() const { return step_; }
    QWidget* illustration() const { return illustration_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The text block's layout at the current width: headline and detail
    // boxes, and where the illustration starts.
    struct Layout {
        QRectF counter, headline, detail;
        double illustrationTop = 0;
    };
    Layout layoutFor(double width) const;

    int step_;
    QString counter_, headline_, detail_;
    QWidget* illustration_ = nullptr;
};
