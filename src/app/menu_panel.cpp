#include "app/menu_panel.h"

#include "app/incident_drawer.h"
#include "ui/menu_glyph.h"
#include "core/fmt.h"
#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/panel_label.h"
#include "ui/press_button.h"
#include "ui/process_icon.h"
#include "ui/row_feedback.h"
#include "ui/theme.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QFont chipFont() { return Fonts::mono(12, QFont::Medium); }
QFont issueFont() { return Fonts::font(11); }
QFont issuePeakFont() { return Fonts::mono(10); }
QFont nameFont() { return Fonts::font(11.5); }
QFont valueFont() { return Fonts::mono(10.5); }

double captionHeight() { return QFontMetricsF(PanelLabel::captionFont()).height(); }
double chipHeight() { return captionHeight() + 3 + QFontMetricsF(chipFont()).height(); }

constexpr double issueSpacing = 5;
constexpr double groupSpacing = 1;
constexpr double chipSpacing = 8;

// Sorting keys where a figure that is not a number is the lowest of all,
// which keeps the order strict and weak.
double rank(double value)
{
    return std::isnan(value) ? -std::numeric_limits<double>::infinity() : value;
}

template <class Key>
std::vector<GroupSample> descending(std::vector<GroupSample> groups, Key key)
{
    std::stable_sort(groups.begin(), groups.end(),
                     [&](const GroupSample& a, const GroupSample& b) { return key(a) > key(b); });
    return groups;
}

} // namespace

std::vector<GroupSample> MenuPanel::byCpu(std::vector<GroupSample> groups)
{
    return descending(std::move(groups), [](const GroupSample& g) { return rank(g.cpu); });
}

std::vector<GroupSample> MenuPanel::byMem(std::vector<GroupSample> groups)
{
    return descending(std::move(groups), [](const GroupSample& g) { return g.mem; });
}

QString MenuPanel::groupCpuText(double cpu)
{
    if (!std::isfinite(cpu))
        return QStringLiteral("—");
    // The one-decimal form while the unrounded value is below one core.
    return QString::number(cpu, 'f', cpu < 100 ? 1 : 0) + QLatin1Char('%');
}

MenuPanel::Model MenuPanel::build(const Monitor& monitor, InteractionHold& hold)
{
    Model model;
    const SystemSample& system = monitor.snapshot().system;
    QColor upload = Theme::net();
    upload.setAlphaF(0.7f);
    model.chips = {
        Chip{QStringLiteral("CPU"), MenuGlyph::percentText(system.cpu), Theme::cpu()},
        Chip{L10n::text("MEM", "内存"),
             Fmt::bytes(double(system.memApp + system.memWired + system.memCompressed)),
             Theme::mem()},
        Chip{QStringLiteral("↓"), Fmt::bytes(system.netIn) + QStringLiteral("/s"), Theme::net()},
        Chip{QStringLiteral("↑"), Fmt::bytes(system.netOut) + QStringLiteral("/s"), upload},
    };

    model.issuesTitle = L10n::text("Active issues", "进行中的异常");
    const auto issues = hold.arrange(monitor.openIncidents(), QStringLiteral("issues"), 0, true,
                                     false, [](const Incident& i) { return i.id; });
    for (const Incident& incident : issues) {
        if (model.issues.size() == std::size_t(issueLimit))
            break;
        const QColor tint = incident.severity == Severity::critical ? Theme::crit() : Theme::warn();
        model.issues.push_back({incident.id, tint,
                                IncidentDrawer::subjectText(incident) + QLatin1Char(' ')
                                    + incident.title(),
                                incident.peakText});
    }

    const auto list = [&](const QString& title, const std::vector<GroupSample>& sorted,
                          const QString& slot, auto value) {
        GroupList result{title, {}};
        const auto arranged = hold.arrange(sorted, slot, 0, true, true,
                                           [](const GroupSample& g) { return g.key; });
        for (const GroupSample& g : arranged) {
            if (result.rows.size() == std::size_t(listLength))
                break;
            const bool departed = hold.departed(g.key, slot);
            result.rows.push_back({g.key, g.name, g.bundlePath,
                                   departed ? L10n::text("Exited", "已退出") : value(g), departed});
        }
        return result;
    };
    const auto& groups = monitor.snapshot().groups;
    model.cpu = list(L10n::text("Top CPU", "CPU 最高"), byCpu(groups), QStringLiteral("cpu"),
                     [](const GroupSample& g) { return groupCpuText(g.cpu); });
    model.mem = list(L10n::text("Top memory", "内存最高"), byMem(groups), QStringLiteral("mem"),
                     [](const GroupSample& g) { return Fmt::bytes(double(g.mem)); });
    model.openText = L10n::text("Open Tavrin", "打开 Tavrin");
    model.quitText = L10n::text("Quit", "退出");
    return model;
}

QPoint MenuPanel::placement(const QRect& anchor, QSize size, const QRect& available)
{
    const QPoint centre = anchor.center();
    const bool downward = centre.y() < available.center().y();
    int x = centre.x() - size.width() / 2;
    int y = downward ? anchor.bottom() + 1 : anchor.top() - size.height();
    // Kept inside; a panel larger than the area sticks to its top-left.
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}

// ---- one group row: icon, name, figure; a click selects the group

class MenuPanel::RowView : public QWidget {
public:
    RowView(MenuPanel& panel, QWidget* parent)
        : QWidget(parent)
        , panel_(panel)
    {
        rowFeedback(this, 4, [this] { panel_.select(row_.key); });
        linkCursor(this);
    }

    void setRow(const GroupRow& row)
    {
        if (row == row_)
            return;
        row_ = row;
        letter_ = Icons::letter(row.name);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(row_.departed ? 0.4 : 1);
        // The wash reaches 5 px past the content on each side.
        const QRectF content = QRectF(rect()).adjusted(inset, 0, -inset, 0);
        const double mid = content.center().y();
        ProcessIcon::paint(p, QRectF(content.left(), mid - 7.5, 15, 15), 15, letter_,
                           row_.bundlePath);
        const QFontMetricsF values(valueFont());
        const double valueWidth = values.horizontalAdvance(row_.value);
        p.setFont(valueFont());
        p.setPen(Theme::dim());
        p.drawText(QRectF(content.right() - valueWidth - 1, content.top(), valueWidth + 1,
                          content.height()),
                   Qt::AlignRight | Qt::AlignVCenter, row_.value);
        const double nameLeft = content.left() + 15 + 7;
        const double nameRoom = content.right() - valueWidth - 7 - nameLeft;
        const QFontMetricsF names(nameFont());
        p.setFont(nameFont());
        p.setPen(Theme::text());
        // A mark that encloses a letter reaches past the name's advance: the
        // name keeps clear of the icon and the figure beside it.
        p.save();
        p.setClipRect(QRectF(nameLeft - 3, 0, std::max(0.0, nameRoom) + 6, height()), Qt::IntersectClip);
        p.drawText(QRectF(nameLeft, content.top(), std::max(0.0, nameRoom), content.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   Fonts::elided(names, row_.name, Qt::ElideMiddle, std::max(0.0, nameRoom)));
        p.restore();
    }

private:
    static constexpr double inset = 5;
    MenuPanel& panel_;
    GroupRow row_;
    QString letter_;
};

// ---- the panel

MenuPanel::MenuPanel(Monitor& monitor, std::function<void()> openMain, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , openMain_(std::move(openMain))
    , hold_(QStringLiteral("menu"))
{
    // Wayland lets no client place a popup by coordinates; there the
    // compositor places a small tool window, which closes on focus loss.
    placeable_ = QGuiApplication::platformName() != QLatin1String("wayland");
    setWindowFlags(placeable_ ? Qt::Popup | Qt::FramelessWindowHint
                              : Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setFixedWidth(panelWidth);
    // Not shown by the frameless window; it names it for the desktop's tools.
    setWindowTitle(QStringLiteral("Tavrin panel"));

    for (auto& row : rows_) {
        row = new RowView(*this, this);
        row->hide();
    }
    open_ = new PressButton(PressStyle::text(), QString(), this);
    quit_ = new PressButton(PressStyle::text(), QString(), this);
    for (PressButton* button : {open_, quit_}) {
        button->setLabelFont(Fonts::font(11.5, QFont::Medium));
        button->setColor(Theme::cpu());
    }
    connect(open_, &QAbstractButton::clicked, this, [this] {
        hide();
        if (openMain_)
            openMain_();
    });
    connect(quit_, &QAbstractButton::clicked, qApp, &QApplication::quit, Qt::QueuedConnection);

    hold_.holds(this);
    connect(&monitor, &Monitor::snapshotChanged, this, &MenuPanel::scheduleRefresh);
    connect(&monitor, &Monitor::incidentsChanged, this, &MenuPanel::scheduleRefresh);
    // The lists turn live again once the hold lets go.
    connect(&hold_, &InteractionHold::activeChanged, this, &MenuPanel::scheduleRefresh);
    refresh();
}

MenuPanel::~MenuPanel() = default;

std::vector<QWidget*> MenuPanel::rowViews() const
{
    std::vector<QWidget*> views;
    for (std::size_t i = 0; i < model_.cpu.rows.size(); ++i)
        views.push_back(rows_[i]);
    for (std::size_t i = 0; i < model_.mem.rows.size(); ++i)
        views.push_back(rows_[listLength + i]);
    return views;
}

void MenuPanel::scheduleRefresh()
{
    // A hidden panel builds nothing; it catches up as it opens.
    if (isVisible())
        refreshGate_.schedule();
}

void MenuPanel::refresh()
{
    Model next = build(monitor_, hold_);
    if (next == model_)
        return;
    model_ = std::move(next);
    open_->setText(model_.openText);
    quit_->setText(model_.quitText);
    relayout();
    update();
}

int MenuPanel::height(const Model& model) const
{
    const double caption = captionHeight();
    double h = padding + chipHeight();
    if (!model.issues.empty())
        h += sectionSpacing + caption
            + double(model.issues.size()) * (issueSpacing + issueRowHeight);
    for (const GroupList* list : {&model.cpu, &model.mem})
        h += sectionSpacing + caption + double(list->rows.size()) * (groupSpacing + groupRowHeight);
    h += sectionSpacing + open_->sizeHint().height() + padding;
    return int(std::ceil(h));
}

void MenuPanel::relayout()
{
    const double caption = captionHeight();
    double y = padding + chipHeight();
    if (!model_.issues.empty())
        y += sectionSpacing + caption
            + double(model_.issues.size()) * (issueSpacing + issueRowHeight);
    const int rowWidth = panelWidth - 2 * padding + 10;
    for (int list = 0; list < 2; ++list) {
        const auto& rows = list == 0 ? model_.cpu.rows : model_.mem.rows;
        y += sectionSpacing + caption;
        for (int i = 0; i < listLength; ++i) {
            RowView* view = rows_[std::size_t(list * listLength + i)];
            if (std::size_t(i) < rows.size()) {
                y += groupSpacing;
                view->setRow(rows[std::size_t(i)]);
                view->setGeometry(padding - 5, int(std::lround(y)), rowWidth, groupRowHeight);
                view->show();
                y += groupRowHeight;
            } else {
                view->hide();
            }
        }
    }
    y += sectionSpacing;
    const QSize open = open_->sizeHint();
    const QSize quit = quit_->sizeHint();
    open_->setGeometry(padding, int(std::lround(y)), open.width(), open.height());
    quit_->setGeometry(panelWidth - padding - quit.width(), int(std::lround(y)), quit.width(),
                       quit.height());
    setFixedHeight(height(model_));
}

QSize MenuPanel::sizeHint() const
{
    return {panelWidth, height(model_)};
}

void MenuPanel::popup(const QRect& anchor)
{
    refresh();
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (placeable_ && screen)
        move(placement(anchor, size(), screen->availableGeometry()));
    show();
    raise();
    activateWindow();
}

void MenuPanel::select(const QString& key)
{
    monitor_.setSelection(key);
    monitor_.setFocusPid(std::nullopt);
    hide();
    if (openMain_)
        openMain_();
}

void MenuPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void MenuPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (!placeable_ && event->type() == QEvent::ActivationChange && !isActiveWindow())
        hide();
}

void MenuPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Theme::panel());
    p.setRenderHint(QPainter::Antialiasing);
    const double caption = captionHeight();
    const QFont captionFont = PanelLabel::captionFont();
    const double inner = panelWidth - 2 * padding;
    const auto label = [&](double y, const QString& text, const QColor& color) {
        p.setFont(captionFont);
        p.setPen(color);
        p.drawText(QRectF(padding, y, inner, caption), Qt::AlignLeft | Qt::AlignVCenter, text);
    };

    // Four chips share the row.
    double y = padding;
    const double chipWidth = (inner - 3 * chipSpacing) / 4;
    for (std::size_t i = 0; i < model_.chips.size(); ++i) {
        const Chip& chip = model_.chips[i];
        const double x = padding + double(i) * (chipWidth + chipSpacing);
        p.setFont(captionFont);
        p.setPen(chip.color);
        p.drawText(QRectF(x, y, chipWidth, caption), Qt::AlignLeft | Qt::AlignVCenter, chip.title);
        const Fonts::Fitted value = Fonts::shrinkToFit(chip.value, chipFont(), chipWidth, 0.7);
        p.setFont(value.font);
        p.setPen(Theme::text());
        p.drawText(QRectF(x, y + caption + 3, chipWidth, QFontMetricsF(chipFont()).height()),
                   Qt::AlignLeft | Qt::AlignVCenter, value.text);
    }
    y += chipHeight();

    if (!model_.issues.empty()) {
        y += sectionSpacing;
        label(y, model_.issuesTitle, Theme::dim());
        y += caption;
        for (const Issue& issue : model_.issues) {
            y += issueSpacing;
            const double mid = y + issueRowHeight / 2.0;
            p.setPen(Qt::NoPen);
            p.setBrush(issue.tint);
            p.drawEllipse(QRectF(padding, mid - 3, 6, 6));
            const QFontMetricsF peak(issuePeakFont());
            const double peakWidth = peak.horizontalAdvance(issue.peak);
            p.setFont(issuePeakFont());
            p.setPen(issue.tint);
            p.drawText(QRectF(padding + inner - peakWidth - 1, y, peakWidth + 1, issueRowHeight),
                       Qt::AlignRight | Qt::AlignVCenter, issue.peak);
            const double left = padding + 6 + 6;
            const double room = std::max(0.0, padding + inner - peakWidth - 6 - left);
            p.setFont(issueFont());
            p.setPen(Theme::text());
            p.drawText(QRectF(left, y, room, issueRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       Fonts::elided(QFontMetricsF(issueFont()), issue.text, Qt::ElideRight, room));
            y += issueRowHeight;
        }
    }

    for (const GroupList* list : {&model_.cpu, &model_.mem}) {
        y += sectionSpacing;
        label(y, list->title, Theme::dim());
        y += caption + double(list->rows.size()) * (groupSpacing + groupRowHeight);
    }
}
