#pragma once
// The area between the toolbar and the incident drawer that shows the view
// of the current mode. It holds exactly the modes the Monitor keeps mounted,
// so a view that fades out, or the list under the field, stays alive, and a
// mode mounted again gets a fresh view. On a mode change every mounted view
// moves to its opacity and offset with its own animation; only the current
// mode's view takes the pointer.

#include "ui/refresh_gate.h"
#include "model/monitor.h"
#include "ui/animation.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>

class Stage : public QWidget {
    Q_OBJECT

public:
    // Builds the view of a mode, parented to the stage.
    using Content = std::function<QWidget*(Monitor::Mode, QWidget* parent)>;

    Stage(Monitor& monitor, Content content, QWidget* parent = nullptr);
    ~Stage() override;

    // The view mounted for a mode, or null.
    QWidget* view(Monitor::Mode mode) const;
    // What the view is drawn with now: opacity, and horizontal offset in pixels.
    double opacity(Monitor::Mode mode) const;
    double offset(Monitor::Mode mode) const;
    bool moving() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Page {
        QPointer<QWidget> view;
        AnimatedValue opacity;
        AnimatedValue offset;
    };

    void scheduleRefresh();
    void refresh();
    void place(Monitor::Mode mode, Page& page);
    void animate();
    void settle();

    Monitor& monitor_;
    Content content_;
    std::map<Monitor::Mode, Page> pages_;
    Monitor::Mode shownMode_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
