#include "ui/rule_row.h"

#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/press_button.h"
#include "ui/shrink_label.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int peakWidth = 200;

class Dot final : public QWidget {
public:
    explicit Dot(QWidget* parent) : QWidget(parent) { setFixedSize(5, 5); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::net());
        p.drawEllipse(QRectF(rect()));
    }
};

QString colored(const QString& text, const QColor& color)
{
    return QStringLiteral("<span style=\"color:%1\">%2</span>")
        .arg(color.name(), text.toHtmlEscaped());
}

} // namespace

QString RuleRow::format(double value, const QString& unit)
{
    QString number;
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        number = QString::asprintf("%g", value);
    else if (value != std::round(value))
        number = QString::asprintf("%.1f", value);
    else
        number = QString::number(qint64(std::round(value)));
    return number + unit;
}

RuleRow::Sentence RuleRow::split(const QString& sentence)
{
    const QStringList pieces = sentence.split(QStringLiteral("{}"));
    Sentence out;
    if (!pieces.isEmpty())
        out.before = pieces[0];
    if (pieces.size() > 1)
        out.after = pieces[1];
    return out;
}

bool RuleRow::usable(double value)
{
    return std::isfinite(value) && value > 0;
}

RuleRow::RuleRow(Spec spec, Binding<double> value, std::optional<Live> live, QWidget* parent)
    : QWidget(parent), spec_(std::move(spec)), binding_(std::move(value)), live_(std::move(live))
{
    value_ = binding_.value();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(8);

    auto* head = new QHBoxLayout;
    head->setSpacing(8);
    head->addWidget(TextLabel::make(spec_.title, Fonts::font(13, QFont::Medium), Theme::text(), false, this),
                    0, Qt::AlignBaseline);
    head->addStretch(1);
    reset_ = new PressButton(PressStyle::text(), QString(), this);
    reset_->setLabelFont(Fonts::font(10.5));
    reset_->setColor(Theme::warn());
    reset_->setFocusPolicy(Qt::TabFocus);
    connect(reset_, &QAbstractButton::clicked, this, &RuleRow::reset);
    head->addWidget(reset_, 0, Qt::AlignVCenter);
    value_label_ = TextLabel::make(QString(), Fonts::mono(15, QFont::Medium), spec_.color, false, this);
    value_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value_label_->setMinimumWidth(84);
    head->addWidget(value_label_, 0, Qt::AlignVCenter);
    column->addLayout(head);

    // The slider writes through the row, so the row's texts follow a drag
    // even before the owner syncs it.
    Binding<double> through{binding_.get, [this](const double& v) {
                                binding_.write(v);
                                sync();
                            }};
    slider_ = new RuleSlider(std::move(through), spec_.range, spec_.step, spec_.fallback,
                             live_ ? std::optional<double>(live_->value) : std::nullopt, spec_.color,
                             this);
    column->addWidget(slider_);

    auto* foot = new QHBoxLayout;
    foot->setSpacing(8);
    sentence_ = new QLabel(this);
    // Built here from the row's own texts, each piece escaped.
    sentence_->setTextFormat(Qt::RichText);
    sentence_->setWordWrap(true);
    sentence_->setFont(Fonts::font(11.5));
    sentence_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    foot->addWidget(sentence_, 1, Qt::AlignTop);

    peak_ = new QWidget(this);
    peak_->setFixedWidth(peakWidth);
    auto* peakRow = new QHBoxLayout(peak_);
    peakRow->setContentsMargins(0, 0, 0, 0);
    peakRow->setSpacing(5);
    peakRow->addStretch(1);
    peakRow->addWidget(new Dot(peak_), 0, Qt::AlignVCenter);
    peakLabel_ = new ShrinkLabel(QString(), Fonts::mono(9.5), Theme::dim(), 1, peak_);
    peakLabel_->setElideMode(Qt::ElideMiddle);
    peakLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    peakRow->addWidget(peakLabel_, 0, Qt::AlignVCenter);
    foot->addWidget(peak_, 0, Qt::AlignTop);
    column->addLayout(foot);

    present();
}

QString RuleRow::valueText() const
{
    return value_label_->text();
}

QString RuleRow::sentenceText() const
{
    const Sentence s = split(spec_.sentence);
    return s.before + format(value_) + s.after;
}

QString RuleRow::peakText() const
{
    if (!live_)
        return {};
    return L10n::text("Peak now", "当前最高") + QLatin1Char(' ') + format(live_->value) + QStringLiteral("  ")
        + live_->who;
}

void RuleRow::setLive(const std::optional<Live>& live)
{
    if (live == live_)
        return;
    live_ = live;
    slider_->setLive(live_ ? std::optional<double>(live_->value) : std::nullopt);
    peak_->setVisible(live_.has_value());
    peakLabel_->setText(peakText());
}

void RuleRow::sync()
{
    const double value = binding_.value();
    if (value == value_)
        return;
    value_ = value;
    slider_->sync();
    present();
}

void RuleRow::reset()
{
    binding_.write(spec_.fallback);
    sync();
}

void RuleRow::present()
{
    reset_->setText(L10n::text("Reset to ", "恢复默认 ") + format(spec_.fallback));
    reset_->setVisible(value_ != spec_.fallback);
    value_label_->setText(format(value_));

    if (usable(value_)) {
        const Sentence s = split(spec_.sentence);
        sentence_->setText(colored(s.before, Theme::dim()) + colored(format(value_), Theme::text())
                           + colored(s.after, Theme::dim()));
    } else {
        sentence_->setText(colored(L10n::text("Not a usable limit: the default applies",
                                              "不是有效阈值，按默认值判定"),
                                   Theme::warn()));
    }

    peak_->setVisible(live_.has_value());
    peakLabel_->setText(peakText());
}
