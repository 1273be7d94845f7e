#include "ui/section_title.h"

#include "ui/panel_label.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace {

class Bar final : public QWidget {
public:
    Bar(const QColor& color, QWidget* parent) : QWidget(parent), color_(color) { setFixedSize(8, 3); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath bar;
        bar.addRoundedRect(QRectF(rect()), 1, 1);
        p.fillPath(bar, color_);
    }

private:
    QColor color_;
};

} // namespace

SectionTitle::SectionTitle(const QString& text, const QColor& color, QWidget* parent)
    : QWidget(parent), color_(color), label_(new PanelLabel(text, Theme::dim(), this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, above, 0, below);
    row->setSpacing(6);
    row->addWidget(new Bar(color, this), 0, Qt::AlignVCenter);
    row->addWidget(label_, 0, Qt::AlignVCenter);
    row->addStretch(1);
}

QString SectionTitle::text() const
{
    return label_->text();
}
