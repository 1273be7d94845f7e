#include "ui/toggle_row.h"

#include "ui/fonts.h"
#include "ui/switch.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

ToggleRow::ToggleRow(const QString& title, const QString& detail, Binding<bool> isOn, QWidget* parent)
    : QWidget(parent)
    , title_(TextLabel::make(title, Fonts::font(13, QFont::Medium), Theme::text(), false, this))
    , detail_(TextLabel::make(detail, Fonts::font(11.5), Theme::dim(), true, this))
    , switch_(new Switch(std::move(isOn), this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(16);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->addWidget(title_);
    texts->addWidget(detail_);
    row->addLayout(texts, 1);
    row->addWidget(switch_, 0, Qt::AlignTop);
    switch_->setAccessibleDescription(title);
}

void ToggleRow::sync()
{
    switch_->sync();
}
