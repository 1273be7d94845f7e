#pragma once
// The main window's content: the header across the top; below it the
// instruments column, the centre column (toolbar, stage, incident drawer)
// and, while a group is selected, the inspector column. Over that frame:
// the text shown before the first samples, the update panel over its
// scrim, and the welcome tour. It keeps
// Monitor::blocking equal to whether an overlay is up and turns Escape into
// Monitor::escape(). A language change replaces the whole content (the
// window builds a new one); all shared state lives in the Monitor, and the
// one piece that does not, where the welcome tour stands, is handed from
// the old content to the new.

#include "app/body_layout.h"
#include "ui/refresh_gate.h"
#include "model/monitor.h"
#include "settings/welcome_view.h"
#include "ui/animation.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QVBoxLayout;
class HeaderBar;
class Stage;
class Toolbar;
class UpdatePanel;
class Updater;

class RootView : public QWidget {
    Q_OBJECT

public:
    // Geometry, in pixels.
    static constexpr int instrumentsWidth = BodyLayout::instrumentsWidth;
    static constexpr int inspectorWidth = BodyLayout::inspectorWidth;
    static constexpr int toolbarHeight = 42;
    // The shadow an inspector lying over the centre casts on it.
    static constexpr int edgeWidth = 12;
    static constexpr int minimumWidth = 1120;
    static constexpr int minimumHeight = 760;
    // How far a hidden stage view waits off centre.
    static constexpr double slide = 28;

    // ---- the stage's rules for the view of `mode` while `current` is shown
    // Opacity: the current view, and the field over the list after a switch
    // back, are opaque.
    static double opacity(Monitor::Mode mode, Monitor::Mode current);
    // Horizontal offset: hidden views wait on their side of the mode order.
    static double offset(Monitor::Mode mode, Monitor::Mode current);
    // How the view moves when the mode changes from `previous` to `current`.
    static Animation animation(Monitor::Mode mode, Monitor::Mode previous, Monitor::Mode current);
    // How a newly mounted view enters: faded in from an offset, or there at
    // once (the field draws its own entrance, and the list under it).
    struct Insertion {
        bool fade = false;
        double offset = 0;
        bool operator==(const Insertion&) const = default;
    };
    static Insertion insertion(Monitor::Mode mode, Monitor::Mode current, Monitor::Mode previous,
                               bool reduceMotion);
    static int index(Monitor::Mode mode) { return int(mode); }

    // The overlay condition: the welcome tour or the update panel blocks
    // the window.
    static bool overlayUp(const Monitor& monitor, const Updater& updater);

    // The placeholder's text in the current language.
    static QString placeholderText();

    // `tour` is where the welcome tour stood in the content this one
    // replaces; the tour, if up, goes on from there.
    RootView(Monitor& monitor, Updater& updater, QWidget* parent = nullptr,
             std::optional<WelcomeView::Place> tour = std::nullopt);
    ~RootView() override;

    HeaderBar* header() const { return header_; }
    Toolbar* toolbar() const { return toolbar_; }
    Stage* stage() const { return stage_; }
    QWidget* frame() const { return frame_; }
    QWidget* instruments() const { return instruments_; }
    QWidget* centre() const { return centre_; }
    QWidget* inspector() const { return inspector_; }
    WelcomeView* welcomeView() const { return welcome_; }
    // Where the tour stands while it is up and not ending.
    std::optional<WelcomeView::Place> tourPlace() const;
    // The scrim with the update panel, while the updater has a panel.
    QWidget* updateLayer() const;
    UpdatePanel* updatePanel() const;
    double updateOpacity() const { return updateShown_.value(); }
    // The hidden Escape button.
    QAction* escapeAction() const { return escape_; }

    // The placeholder's opacity now, and whether it is due.
    double placeholderOpacity() const { return placeholder_.value(); }
    // How far the body row has made room for the inspector column, 0 to 1.
    double inspectorShown() const { return inspectorShown_.value(); }
    // How the body row shares its width now.
    BodyLayout bodyLayout() const;
    // The inspector column's opacity while reduce motion has it fade.
    double inspectorFade() const { return inspectorFade_.value(); }
    double welcomeOpacity() const { return welcomeShown_.value(); }

    // Moves the keyboard focus into the filter field (the View menu's
    // filter command, through Monitor::focusSearch).
    void focusFilter();

signals:
    void settingsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class Body;
    class Edge;
    class Placeholder;
    class UpdateLayer;

    void scheduleRefresh();
    void refresh();
    void layoutBody();
    void animate();
    void settle();
    void raiseOverlays();
    QWidget* buildInstruments();
    QWidget* buildCentre();
    void buildInspector();
    QWidget* content(Monitor::Mode mode, QWidget* parent);
    QWidget* field(QWidget* parent);

    Monitor& monitor_;
    QWidget* frame_ = nullptr;
    HeaderBar* header_ = nullptr;
    Body* body_ = nullptr;
    Edge* edge_ = nullptr;
    QWidget* instruments_ = nullptr;
    QWidget* centre_ = nullptr;
    Toolbar* toolbar_ = nullptr;
    Stage* stage_ = nullptr;
    QPointer<QWidget> inspector_; // the rule and the inspector, while in
    Placeholder* placeholderView_ = nullptr;
    QPointer<WelcomeView> welcome_;
    Updater& updater_;
    QPointer<UpdateLayer> updateLayer_;
    QAction* escape_ = nullptr;

    AnimatedValue placeholder_{0};
    AnimatedValue inspectorShown_{0};
    AnimatedValue inspectorFade_{0};
    AnimatedValue welcomeShown_{0};
    AnimatedValue updateShown_{0};
    bool overlay_ = false;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
