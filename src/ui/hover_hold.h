#pragma once
// Holds a list still while the pointer rests over any of the views attached
// to its hold. A view counts while the pointer is inside it and it is shown
// and enabled, so a view hidden, disabled or destroyed under the pointer lets
// go of the hold instead of keeping it forever.

#include <QObject>
#include <QSet>

class InteractionHold;

class HoverHold final : public QObject {
    Q_OBJECT

public:
    // Attaches `view` to `hold`. One HoverHold serves all views of a hold and
    // lives as the hold's child. Attaching a view twice changes nothing.
    static void attach(QObject* view, InteractionHold& hold);

    // Whether the pointer currently holds through `view`.
    bool holding(const QObject* view) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit HoverHold(InteractionHold& hold);
    void watch(QObject* view);
    void setInside(QObject* view, bool inside);
    void update();

    InteractionHold& hold_;
    QSet<QObject*> views_;
    // Views with the pointer inside them, whether or not they are enabled:
    // one re-enabled under the pointer holds again.
    QSet<QObject*> inside_;
    bool on_ = false;
};
