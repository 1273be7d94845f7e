#pragma once
// A text link: the title and an up-right arrow in the accent colour, with
// the pointing hand over it. Pressing it opens the address in the default
// browser.

#include "ui/press_button.h"

#include <QUrl>

class LinkText : public PressButton {
    Q_OBJECT

public:
    LinkText(const QString& title, const QUrl& url, QWidget* parent = nullptr);

    QUrl url() const { return url_; }

protected:
    QSizeF labelSize() const override;
    void paintLabel(QPainter& painter, const QRectF& box, const QColor& color) override;

private:
    QUrl url_;
};
