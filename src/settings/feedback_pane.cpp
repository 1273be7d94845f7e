#include "settings/feedback_pane.h"

#include "core/l10n.h"
#include "settings/diagnostics.h"
#include "ui/card.h"
#include "ui/filled_button.h"
#include "ui/fonts.h"
#include "ui/hairline.h"
#include "ui/scheduler.h"
#include "ui/section_title.h"
#include "ui/sound.h"
#include "ui/symbols.h"
#include "ui/text_label.h"
#include "ui/plain_text.h"
#include "ui/theme.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The report's frame: the window's ground in a rounded, edged box.
class PreviewFrame : public QWidget {
public:
    explicit PreviewFrame(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        p.setBrush(Theme::bg());
        p.setPen(QPen(Theme::line(), 1));
        p.drawPath(shape);
    }
};

// The report itself: plain text the user can select, wrapped to the width
// and as tall as its lines, with a little air between them.
class ReportPreview : public QTextEdit {
public:
    explicit ReportPreview(QWidget* parent) : QTextEdit(parent)
    {
        setReadOnly(true);
        setAcceptRichText(false);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        // A click gives it the keys, so a selection can be copied with them.
        setFocusPolicy(Qt::ClickFocus);
        document()->setDocumentMargin(0);
        setFont(Fonts::mono(9.5));
        viewport()->setAutoFillBackground(false);
        QPalette palette = this->palette();
        palette.setColor(QPalette::Text, Theme::dim());
        palette.setColor(QPalette::Base, Qt::transparent);
        setPalette(palette);
    }

    // Keeps what the user has selected where it was: the report changes
    // with every sample.
    void setReport(const QString& text)
    {
        // Plain numbers: a cursor would follow the old text out.
        const QTextCursor cursor = textCursor();
        const bool selected = cursor.hasSelection();
        const int anchor = cursor.anchor();
        const int position = cursor.position();
        setPlainText(text);
        QTextBlockFormat spaced;
        spaced.setLineHeight(FeedbackPane::previewLineSpacing, QTextBlockFormat::LineDistanceHeight);
        QTextCursor all(document());
        all.select(QTextCursor::Document);
        all.mergeBlockFormat(spaced);
        if (selected) {
            const int end = int(text.size());
            QTextCursor kept(document());
            kept.setPosition(std::min(anchor, end));
            kept.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
            setTextCursor(kept);
        }
        fitHeight();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QTextEdit::resizeEvent(event);
        fitHeight();
    }

private:
    void fitHeight()
    {
        document()->setTextWidth(viewport()->width());
        setFixedHeight(int(std::ceil(document()->size().height())));
    }
};

// One contact channel: name and note at the left, the detail and an arrow
// at the right, brightening under the pointer; a click opens the link.
class ChannelRow : public PressButton {
public:
    ChannelRow(const Contact::Channel& channel, QWidget* parent)
        : PressButton(PressStyle::row(0), parent)
        , channel_(channel)
    {
        setFixedHeight(50);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setToolTip(PlainText::toolTip(channel.url.toDisplayString()));
        connect(this, &QAbstractButton::clicked, this,
                [url = channel.url] { QDesktopServices::openUrl(url); });
    }

protected:
    QSizeF labelSize() const override { return {0, 50}; }
    void paintLabel(QPainter& p, const QRectF&, const QColor&) override
    {
        const QRectF box = QRectF(rect()).adjusted(14, 0, -14, 0);
        const double hover = hoverAmount();
        auto mix = [hover](const QColor& a, const QColor& b) {
            return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * hover,
                                    a.greenF() + (b.greenF() - a.greenF()) * hover,
                                    a.blueF() + (b.blueF() - a.blueF()) * hover);
        };
        const double arrow = 9.5;
        Symbols::draw(p, QRectF(box.right() - arrow, box.center().y() - arrow / 2, arrow, arrow),
                      u"arrow.up.right", mix(Theme::faint(), Theme::cpu()), QFont::DemiBold);
        const QFont detailFont = Fonts::mono(10.5);
        const double detailW = std::min(QFontMetricsF(detailFont).horizontalAdvance(channel_.detail) + 1,
                                        box.width() * 0.45);
        const QRectF detail(box.right() - arrow - 12 - detailW, box.top(), detailW, box.height());
        p.setFont(detailFont);
        p.setPen(mix(Theme::dim(), Theme::cpu()));
        p.drawText(detail, Qt::AlignVCenter | Qt::AlignRight | Qt::TextSingleLine,
                   Fonts::elided(QFontMetricsF(detailFont), channel_.detail, Qt::ElideMiddle, detailW));

        const double textW = detail.left() - 12 - box.left();
        const QFont nameFont = Fonts::font(13, QFont::Medium);
        const QFont noteFont = Fonts::font(11.5);
        const double nameH = QFontMetricsF(nameFont).height();
        const double noteH = QFontMetricsF(noteFont).height();
        const double top = box.center().y() - (nameH + 3 + noteH) / 2;
        p.setFont(nameFont);
        p.setPen(Theme::text());
        p.drawText(QRectF(box.left(), top, textW, nameH), Qt::AlignLeft | Qt::TextSingleLine,
                   Fonts::elided(QFontMetricsF(nameFont), channel_.name, Qt::ElideRight, textW));
        p.setFont(noteFont);
        p.setPen(Theme::dim());
        p.drawText(QRectF(box.left(), top + nameH + 3, textW, noteH), Qt::AlignLeft | Qt::TextSingleLine,
                   Fonts::elided(QFontMetricsF(noteFont), channel_.note, Qt::ElideRight, textW));
    }

private:
    Contact::Channel channel_;
};

} // namespace

FeedbackPane::FeedbackPane(Monitor& monitor, QWidget* parent, Contact::ChannelSource channelSource)
    : QWidget(parent)
    , monitor_(monitor)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    layout->addWidget(new SectionTitle(L10n::text("Diagnostics", "诊断信息"), Theme::cpu(), this));
    auto* card = new Card(this);
    auto* body = new QWidget(card);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(TextLabel::make(L10n::text("Include this when you report a problem", "反馈问题时，请附上这段信息"),
                                     Fonts::font(13, QFont::Medium), Theme::text(), false, body));
    texts->addWidget(TextLabel::make(
        L10n::text("Version, system and hardware model, counts and settings — enough to reproduce "
                   "the issue. No process names, domains, host name, user name or file paths.",
                   "包含版本、系统与硬件型号、各类计数和设置项，便于复现。不包含进程名、域名、主机名、用户名或任何文件路径。"),
        Fonts::font(11.5), Theme::dim(), true, body));
    top->addLayout(texts, 1);
    copy_ = new FilledButton(PressStyle::surface(7), Theme::cpu(), std::nullopt, body);
    copy_->setLabelFont(Fonts::font(12, QFont::DemiBold));
    copy_->setSymbolWeight(QFont::DemiBold);
    copy_->setColor(Theme::bg());
    copy_->setContentsMargins(12, 0, 12, 0);
    copy_->setFixedHeight(28);
    copy_->setFocusPolicy(Qt::NoFocus);
    connect(copy_, &QAbstractButton::clicked, this, &FeedbackPane::copy);
    setCopied(false);
    top->addWidget(copy_, 0, Qt::AlignTop);
    column->addLayout(top);

    auto* frame = new PreviewFrame(body);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(10, 10, 10, 10);
    preview_ = new ReportPreview(frame);
    frameLayout->addWidget(preview_);
    column->addWidget(frame);
    card->add(body);
    layout->addWidget(card);

    layout->addWidget(new SectionTitle(L10n::text("Get in touch", "联系渠道"), Theme::dim(), this));
    auto* channelCard = new Card(this);
    channels_ = channelCard;
    const auto channels = Contact::channelsFrom(channelSource);
    if (channels.empty()) {
        auto* none = TextLabel::make(L10n::text("No contact channels are configured in this build.",
                                                "这个构建没有配置联系渠道。"),
                                     Fonts::font(12), Theme::dim(), true, channelCard);
        none->setContentsMargins(14, 14, 14, 14);
        channelCard->add(none);
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (i > 0)
            channelCard->add(new Hairline(channelCard));
        auto* row = new ChannelRow(channels[i], channelCard);
        rows_ << row;
        channelCard->add(row);
    }
    layout->addWidget(channelCard);

    refresh();
    for (auto signal : {&Monitor::snapshotChanged, &Monitor::incidentsChanged, &Monitor::prefsChanged,
                        &Monitor::modeChanged, &Monitor::frozenChanged})
        connect(&monitor, signal, this, [this] { gate_.schedule(); });
    connect(&Diagnostics::updateNotifier(), &Diagnostics::UpdateNotifier::changed, this,
            [this] { gate_.schedule(); });
}

void FeedbackPane::refresh()
{
    const QString text = Diagnostics::report(monitor_, Diagnostics::currentUpdate());
    if (preview_->toPlainText() != text)
        static_cast<ReportPreview*>(preview_)->setReport(text);
}

void FeedbackPane::setCopied(bool copied)
{
    copied_ = copied;
    copy_->setSymbol(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"), 10.5);
    copy_->setText(copied ? L10n::text("Copied", "已复制") : L10n::text("Copy diagnostics", "复制诊断信息"));
}

void FeedbackPane::copy()
{
    Diagnostics::copy(monitor_);
    if (monitor_.prefs().sounds)
        Sound::play(Sound::Cue::confirm);
    setCopied(true);
    // Each press starts its own wait, and none is cancelled: the first one
    // ends the confirmation.
    Scheduler::current().after(confirmSeconds, this, [this] { setCopied(false); });
}
