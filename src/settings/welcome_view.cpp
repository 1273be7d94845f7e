#include "settings/welcome_view.h"

#include "core/l10n.h"
#include "platform/defaults.h"
#include "ui/desktop_settings.h"
#include "ui/filled_button.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/press_button.h"
#include "ui/sound.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"
#include "settings/illustrations.h"
#include "settings/welcome_logo.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

bool reduced()
{
    return DesktopSettings::instance().reduceMotion();
}

Animation footerSpring()
{
    return Animation::spring(Motion::standard(), 0.9);
}


} // namespace

// The four progress capsules: the current one long and bright, the ones
// passed short and faint, the ones ahead short in the line colour.
class StepDots : public QWidget {
public:
    explicit StepDots(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(20 + 3 * 8 + 3 * 6 + 12, 12);
        set(0, false);
    }
    ~StepDots() override { FrameClock::shared().unsubscribe(this); }

    static double widthFor(int index, int step) { return index == step ? 20 : 8; }
    static QColor colorFor(int index, int step)
    {
        if (index > step)
            return Theme::line();
        return index == step ? Theme::cpu() : Theme::withAlpha(Theme::cpu(), 0.4);
    }

    void set(int step, bool animated)
    {
        for (int i = 0; i < WelcomeView::steps; ++i) {
            const auto k = static_cast<std::size_t>(i);
            if (animated) {
                widths_[k].setTarget(widthFor(i, step), footerSpring());
                colors_[k].setTarget(colorFor(i, step), footerSpring());
            } else {
                widths_[k].set(widthFor(i, step));
                colors_[k].set(colorFor(i, step));
            }
        }
        update();
        if (animated && isVisible())
            FrameClock::shared().subscribe(this, [this](double dt) {
                bool moving = false;
                for (auto& w : widths_)
                    moving = w.step(dt) || moving;
                for (auto& c : colors_)
                    moving = c.step(dt) || moving;
                update();
                return moving;
            });
    }

protected:
    void hideEvent(QHideEvent* event) override
    {
        QWidget::hideEvent(event);
        FrameClock::shared().unsubscribe(this);
        for (auto& w : widths_)
            w.set(w.target());
        for (auto& c : colors_)
            c.set(c.target());
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        double total = 6.0 * (WelcomeView::steps - 1);
        for (const auto& w : widths_)
            total += w.value();
        double x = (width() - total) / 2;
        const double y = (height() - 3) / 2.0;
        for (std::size_t k = 0; k < widths_.size(); ++k) {
            p.setBrush(colors_[k].value());
            p.drawRoundedRect(QRectF(x, y, widths_[k].value(), 3), 1.5, 1.5);
            x += widths_[k].value() + 6;
        }
    }

private:
    std::array<AnimatedValue, WelcomeView::steps> widths_;
    std::array<Animated<QColor>, WelcomeView::steps> colors_;
};

// ---- the page

WelcomePage::WelcomePage(Monitor& monitor, int step, QWidget* parent)
    : QWidget(parent)
    , step_(step)
    , counter_(WelcomeView::counter(step))
    , headline_(WelcomeView::headline(step))
    , detail_(WelcomeView::detail(step))
{
    switch (step) {
    case 0:
        illustration_ = new ReadoutsIllustration(monitor, this);
        break;
    case 1:
        illustration_ = new MenuBarIllustration(monitor, this);
        break;
    case 2:
        illustration_ = new IncidentIllustration(this);
        break;
    default:
        illustration_ = new SwitchesIllustration(monitor, this);
        break;
    }
}

namespace {

QFont counterFont()
{
    return Fonts::font(10, QFont::Medium, Fonts::Face::mono, Fonts::Width::standard, 1.2);
}
QFont headlineFont()
{
    return Fonts::font(25, QFont::DemiBold);
}
QFont detailFont()
{
    return Fonts::font(13.5);
}
constexpr double detailLineSpacing = 4;

// Wrapped text's height in a width, with extra space between lines.
double wrappedHeight(const QString& text, const QFont& font, double width, double extraLeading)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    double y = 0;
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        y += line.height();
        ++lines;
    }
    layout.endLayout();
    return y + extraLeading * std::max(0, lines - 1);
}

// Draws wrapped, centred text line by line, so extra leading can go
// between the lines.
void drawWrapped(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
                 const QColor& color, double extraLeading)
{
    p.setPen(color);
    QTextLayout layout(text, font);
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        line.setPosition(QPointF((box.width() - line.naturalTextWidth()) / 2, y));
        y += line.height() + extraLeading;
    }
    layout.endLayout();
    layout.draw(&p, box.topLeft());
}

} // namespace

WelcomePage::Layout WelcomePage::layoutFor(double width) const
{
    Layout l;
    const double counterH = QFontMetricsF(counterFont()).height();
    l.counter = QRectF(0, 0, width, counterH);
    const double headH = wrappedHeight(headline_, headlineFont(), width, 0);
    l.headline = QRectF(0, l.counter.bottom() + 12, width, headH);
    const double detailW = std::min(width, 580.0);
    const double detailH = wrappedHeight(detail_, detailFont(), detailW, detailLineSpacing);
    l.detail = QRectF((width - detailW) / 2, l.headline.bottom() + 10, detailW, detailH);
    l.illustrationTop = l.detail.bottom() + 26;
    return l;
}

void WelcomePage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const Layout l = layoutFor(width());
    illustration_->move((width() - illustration_->width()) / 2,
                        static_cast<int>(std::ceil(l.illustrationTop)));
}

void WelcomePage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Layout l = layoutFor(width());
    p.setFont(counterFont());
    p.setPen(Theme::cpu());
    p.drawText(l.counter, Qt::AlignHCenter | Qt::AlignTop, counter_);
    drawWrapped(p, l.headline, headline_, headlineFont(), Theme::text(), 0);
    drawWrapped(p, l.detail, detail_, detailFont(), Theme::dim(), detailLineSpacing);
}

// ---- the tour

double WelcomeView::readAutoAdvance(const Defaults& defaults)
{
    const double value = defaults.doubleValue(QStringLiteral("welcomeAuto"), 0);
    return std::isfinite(value) ? value : 0;
}

double WelcomeView::autoAdvance()
{
    static const double value = readAutoAdvance(Defaults::standard());
    return value;
}

QString WelcomeView::counter(int step)
{
    return QStringLiteral("0%1 / 0%2").arg(step + 1).arg(steps);
}

QString WelcomeView::headline(int step)
{
    switch (step) {
    case 0:
        return L10n::text("You shouldn’t have to guess what your computer is doing.",
                          "你的电脑在做什么，不应该靠猜。");
    case 1:
        return L10n::text("It lives in the tray and keeps recording with the window closed.",
                          "常驻托盘，关闭窗口后仍在记录。");
    case 2:
        return L10n::text("When something goes wrong, it notes who, when and how much.",
                          "出现异常时，记下主体、时间与峰值。");
    default:
        return L10n::text("No admin rights, no privacy permissions, nothing uploaded.",
                          "无需管理员权限或隐私授权，不上传数据。");
    }
}

QString WelcomeView::detail(int step)
{
    switch (step) {
    case 0:
        return L10n::text("Tavrin shows what every process is using — CPU, memory, threads, file "
                          "handles and network — and points to the one causing trouble.",
                          "Tavrin 实时显示每个进程的处理器、内存、线程、文件句柄与网络占用，并指出异常的来源。");
    case 1:
        return L10n::text("The tray icon shows per-core load and changes color when there is an "
                          "issue. Click it to see the busiest processes. On a desktop without a "
                          "tray, closing the window quits Tavrin.",
                          "托盘图标按核心显示负载，出现异常时变色。点按图标可查看占用最高的进程。"
                          "桌面没有托盘时，关闭窗口即退出 Tavrin。");
    case 2:
        return L10n::text("Incidents are kept in the black box so you can review them later. Adjust "
                          "the thresholds in Settings → Alert rules.",
                          "记录保存在「黑匣子」中，可在事后查看。各项阈值可在「设置 → 异常规则」中调整。");
    default:
        return L10n::text("By default Tavrin makes only two kinds of network requests: reverse DNS "
                          "lookups for remote addresses, and update checks. You can turn off either "
                          "one.",
                          "Tavrin 默认仅有两类网络请求：对远端地址的域名反查，以及检查更新，二者均可关闭。");
    }
}

WelcomeView::WelcomeView(Monitor& monitor, QWidget* parent, std::optional<double> autoSeconds,
                         std::optional<Place> from)
    : QWidget(parent)
    , monitor_(monitor)
    , autoSeconds_(autoSeconds.value_or(autoAdvance()))
{
    if (from) {
        step_ = std::clamp(from->step, 0, steps - 1);
        direction_ = from->direction < 0 ? -1 : 1;
        appeared_ = from->appeared;
        since_ = std::isfinite(from->since) ? std::max(0.0, from->since) : 0;
        cycles_ = std::clamp(from->cycles, 0, steps);
    }
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::bg());
    setPalette(palette);
    setFocusPolicy(Qt::StrongFocus);

    logo_ = new WelcomeLogoView(this);

    skip_ = new PressButton(PressStyle::text(), L10n::text("Skip", "跳过"), this);
    skip_->setLabelFont(Fonts::font(12, QFont::Medium));
    skip_->setColor(Theme::dim());
    skip_->setContentsMargins(6, 0, 6, 0);
    connect(skip_, &QAbstractButton::clicked, this, &WelcomeView::skip);

    auto* backButton = new FilledButton(PressStyle::icon(7), Theme::panel(), Theme::line(), this);
    back_ = backButton;
    back_->setSymbol(QStringLiteral("chevron.left"), 11);
    back_->setSymbolWeight(QFont::DemiBold);
    back_->setColor(Theme::dim());
    back_->setToolTip(L10n::text("Back (←)", "上一步（←）"));
    connect(back_, &QAbstractButton::clicked, this, &WelcomeView::back);

    continue_ = new FilledButton(PressStyle::surface(7), Theme::cpu(), std::nullopt, this);
    continue_->setLabelFont(Fonts::font(12.5, QFont::DemiBold));
    continue_->setColor(Theme::bg());
    continue_->setContentsMargins(18, 0, 18, 0);
    connect(continue_, &QAbstractButton::clicked, this, &WelcomeView::advance);

    dots_ = new StepDots(this);

    for (QWidget* w : std::initializer_list<QWidget*>{skip_, back_, continue_})
        w->setFocusPolicy(Qt::NoFocus);

    page_ = new WelcomePage(monitor_, step_, this);
    restyleFooter();
    dots_->set(step_, false);
    skipShown_.set(step_ > 2 ? 0 : 1);
    backShown_.set(step_ >= 1 ? 1 : 0);
    // Hidden until the fade-in, unless that has run already.
    appear_.set(appeared_ ? 1 : 0);
    stepFrame(0);
}

WelcomeView::Place WelcomeView::place() const
{
    const double shown = started_ ? Scheduler::current().now() - shownAt_ : 0;
    return {step_, direction_, appeared_, since_ + std::max(0.0, shown), cycles_};
}

WelcomeView::~WelcomeView()
{
    FrameClock::shared().unsubscribe(this);
}

QRect WelcomeView::column() const
{
    const int w = std::min(columnWidth, std::max(0, width() - 40));
    return QRect((width() - w) / 2, 0, w, height());
}

void WelcomeView::layoutChildren()
{
    const QRect col = column();
    const int wordmark = 18;
    const int belowLogo = 18 + wordmark + 34 + pageHeight + 30 + 34;
    // On a short window the emblem gives way, so the page never runs into
    // the footer.
    const int side = std::clamp(height() - 40 - belowLogo, minLogoSide, WelcomeLogoView::side);
    if (logo_->width() != side)
        logo_->setFixedSize(side, side);
    const int spare = std::max(40, height() - belowLogo - side);
    int y = spare / 2;
    logo_->move(col.center().x() - side / 2, y);
    y += side + 18 + wordmark + 34;
    const double rise = reduced() ? 0 : 10 * (1 - appear_.value());
    const double shift = reduced() ? 0 : pageShift * direction_ * (1 - pageIn_.value());
    if (page_)
        page_->setGeometry(col.x() + static_cast<int>(std::lround(shift)),
                           y + static_cast<int>(std::lround(rise)), col.width(), pageHeight);
    if (leaving_)
        leaving_->setGeometry(col.x(), y, col.width(), pageHeight);
    y += pageHeight + spare - spare / 2;
    // The footer: Skip at the left of a 150 wide box, Back and Continue at
    // the right of another, the dots between.
    const int footerY = height() - 34 - 30;
    skip_->setGeometry(col.x(), footerY, skip_->sizeHint().width(), 30);
    const int continueW = std::max(continue_->sizeHint().width(), 60);
    continue_->setGeometry(col.right() + 1 - continueW, footerY, continueW, 30);
    back_->setGeometry(continue_->x() - 8 - 30, footerY, 30, 30);
    dots_->move(col.center().x() - dots_->width() / 2, footerY + (30 - dots_->height()) / 2);
}

void WelcomeView::restyleFooter()
{
    const bool last = step_ > 2;
    continue_->setText(last ? L10n::text("Get started", "开始使用") : L10n::text("Continue", "继续"));
    skip_->setEnabled(!last);
    back_->setEnabled(step_ >= 1);
}

void WelcomeView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void WelcomeView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setFocus(Qt::OtherFocusReason);
    layoutChildren();
    if (started_) {
        animate();
        return;
    }
    started_ = true;
    const std::uint64_t token = token_.value();
    Scheduler& scheduler = Scheduler::current();
    shownAt_ = scheduler.now();
    // A tour carried over from an earlier build goes on where it stood.
    if (since_ > 0)
        logo_->seek(since_);
    if (since_ < cueDelay)
        scheduler.after(cueDelay - since_, this, [this, token] {
            if (token_.isLatest(token) && !finished_ && monitor_.prefs().sounds)
                Sound::play(Sound::Cue::welcome);
        });
    if (!appeared_)
        scheduler.after(std::max(0.0, appearDelay - since_), this, [this] {
            appeared_ = true;
            appear_.setTarget(1, Animation::spring(Motion::emphasized()));
            animate();
        });
    if (autoSeconds_ > 0 && cycles_ < steps)
        scheduleCycle(cycles_ + 1, token);
}

void WelcomeView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    FrameClock::shared().unsubscribe(this);
}

void WelcomeView::scheduleCycle(int cycle, std::uint64_t token)
{
    Scheduler::current().after(autoSeconds_, this, [this, cycle, token] {
        // A tour that has ended, by hand or by an earlier cycle, runs no
        // more cycles.
        if (!token_.isLatest(token) || finished_)
            return;
        cycles_ = cycle;
        forward();
        if (cycle < steps && !finished_)
            scheduleCycle(cycle + 1, token);
    });
}

void WelcomeView::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & ~(Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        advance();
        break;
    case Qt::Key_Left:
        back();
        break;
    case Qt::Key_Escape:
        skip();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void WelcomeView::advance()
{
    if (finished_)
        return;
    forward();
}

void WelcomeView::forward()
{
    if (step_ > 2) {
        if (monitor_.prefs().sounds)
            Sound::play(Sound::Cue::reveal);
        finish();
        return;
    }
    direction_ = 1;
    showStep(step_ + 1);
}

void WelcomeView::back()
{
    if (finished_ || step_ < 1)
        return;
    direction_ = -1;
    showStep(step_ - 1);
}

void WelcomeView::skip()
{
    if (finished_)
        return;
    if (monitor_.prefs().sounds)
        Sound::play(Sound::Cue::reveal);
    finish();
}

void WelcomeView::finish()
{
    if (finished_)
        return;
    finished_ = true;
    token_.issue();
    monitor_.finishWelcome();
}

void WelcomeView::showStep(int step)
{
    step_ = step;
    if (leaving_)
        delete leaving_.data();
    leaving_ = page_;
    page_ = new WelcomePage(monitor_, step, this);
    page_->show();
    pageIn_.set(0);
    pageIn_.setTarget(1, footerSpring());
    restyleFooter();
    dots_->set(step_, true);
    skipShown_.setTarget(step_ > 2 ? 0 : 1, footerSpring());
    backShown_.setTarget(step_ >= 1 ? 1 : 0, footerSpring());
    layoutChildren();
    stepFrame(0);
    animate();
}

void WelcomeView::animate()
{
    if (!isVisible())
        return;
    FrameClock::shared().subscribe(this, [this](double dt) { return stepFrame(dt); });
}

bool WelcomeView::stepFrame(double dt)
{
    const bool moving = stepAll(dt, appear_, pageIn_, skipShown_, backShown_);
    const double shown = appear_.value();
    if (page_)
        WidgetOpacity::setHidingAtZero(page_, shown * pageIn_.value());
    if (leaving_) {
        const double out = 1 - pageIn_.value();
        if (out <= 0.001 || !pageIn_.moving())
            delete leaving_.data();
        else
            WidgetOpacity::setHidingAtZero(leaving_, shown * out);
    }
    WidgetOpacity::setHidingAtZero(dots_, shown);
    WidgetOpacity::setHidingAtZero(continue_, shown);
    WidgetOpacity::setHidingAtZero(skip_, shown * skipShown_.value());
    WidgetOpacity::setHidingAtZero(back_, shown * backShown_.value());
    layoutChildren();
    update(QRect(0, logo_->geometry().bottom(), width(), 60));
    return moving;
}

void WelcomeView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    const double shown = appear_.value();
    if (shown <= 0)
        return;
    QPainter p(this);
    p.setOpacity(shown);
    p.setFont(Fonts::wordMark(13, 4));
    p.setPen(Theme::text());
    const QRect col = column();
    const QRectF box(col.x(), logo_->geometry().bottom() + 1 + 18, col.width(), 18);
    p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, Fonts::wordMarkText());
}
