#include "process/inspector_view.h"

#include "core/date.h"
#include "core/fmt.h"
#include "core/l10n.h"
#include "core/outside_text.h"
#include "core/shell_quote.h"
#include "engine/process_inspect.h"
#include "model/monitor.h"
#include "platform/file_manager.h"
#include "platform/process_signals.h"
#include "process/hold_button.h"
#include "process/sparkline.h"
#include "ui/clipboard.h"
#include "ui/copy_text.h"
#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/fonts.h"
#include "ui/hover_hold.h"
#include "ui/panel_label.h"
#include "ui/plain_text.h"
#include "ui/press_button.h"
#include "ui/process_icon.h"
#include "ui/row_feedback.h"
#include "ui/shrink_label.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QThreadPool>
#include <QScrollArea>
#include <QScrollBar>
#include <QGraphicsOpacityEffect>
#include <QStackedLayout>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <span>

namespace {

QColor faded(QColor c, double a)
{
    c.setAlphaF(float(c.alphaF() * a));
    return c;
}

QLabel* label(const QFont& font, const QColor& color, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Text, color);
    l->setPalette(pal);
    return l;
}

void fillBackground(QWidget* w, const QColor& color)
{
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, color);
    w->setPalette(pal);
}

void setTextIfChanged(QLabel* l, const QString& text)
{
    if (l->text() != text)
        l->setText(text);
}

} // namespace

namespace InspectorParts {

// An action button on a raised, bordered plate; PressButton adds the wash.
class PlainButton : public PressButton {
public:
    explicit PlainButton(QWidget* parent) : PressButton(PressStyle::surface(6), parent) {}

protected:
    void paintLabel(QPainter& painter, const QRectF& box, const QColor& color) override
    {
        const QRectF plate = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(Theme::line(), 1));
        painter.setBrush(Theme::raised());
        painter.drawRoundedRect(plate, 5.5, 5.5);
        PressButton::paintLabel(painter, box, isEnabled() ? color : Theme::faint());
    }
};

// The header's close button: a bold cross on a raised circle.
class CloseButton : public PressButton {
public:
    explicit CloseButton(QWidget* parent) : PressButton(PressStyle::icon(PressStyle::capsule), parent)
    {
        setSymbol(QStringLiteral("xmark"), 10);
        setLabelFont(Fonts::font(10, QFont::Bold));
        setColor(Theme::dim());
        setFixedSize(22, 22);
    }

protected:
    void paintLabel(QPainter& painter, const QRectF& box, const QColor& color) override
    {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::raised());
        painter.drawEllipse(box);
        PressButton::paintLabel(painter, box, color);
    }
};

// Icon, title, subtitle and the close button.
class Header : public QWidget {
public:
    Header(std::function<void()> close, QWidget* parent) : QWidget(parent)
    {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(14, 14, 14, 14);
        row->setSpacing(10);
        icon_ = new ProcessIcon(QString(), std::nullopt, 34, this);
        row->addWidget(icon_);
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        title_ = new ShrinkLabel(QString(), Fonts::font(14, QFont::DemiBold), Theme::text(), 1, this);
        title_->setElideMode(Qt::ElideMiddle);
        column->addWidget(title_);
        subtitleRow_ = new QHBoxLayout;
        subtitleRow_->setSpacing(0);
        count_ = label(Fonts::mono(10), Theme::dim(), this);
        uptime_ = label(Fonts::mono(10), Theme::dim(), this);
        subtitleRow_->addWidget(count_);
        subtitleRow_->addWidget(uptime_);
        subtitleRow_->addStretch(1);
        column->addLayout(subtitleRow_);
        row->addLayout(column, 1);
        close_ = new CloseButton(this);
        close_->setToolTip(L10n::text("Close Inspector (Esc)", "关闭检查器（Esc）"));
        QObject::connect(close_, &PressButton::clicked, this, std::move(close));
        row->addWidget(close_);
    }

    void set(const GroupSample& group, const std::optional<ProcSample>& process)
    {
        if (icon_->name() != group.name)
            icon_->setName(group.name);
        if (icon_->bundlePath() != group.bundlePath)
            icon_->setBundlePath(group.bundlePath);
        const QString title = process ? process->name : group.name;
        if (title_->text() != title) {
            title_->setText(title);
            title_->setToolTip(PlainText::toolTip(title));
        }
        if (!process) {
            dropPid();
            count_->show();
            setTextIfChanged(count_, subtitleCount(group.members.size()));
            uptime_->clear();
            return;
        }
        count_->hide();
        if (!pid_ || pidValue_ != process->pid) {
            dropPid();
            pidValue_ = process->pid;
            pid_ = new CopyText(QStringLiteral("PID %1").arg(process->pid), QString::number(process->pid),
                                Fonts::mono(10), Theme::dim(), Qt::ElideMiddle, this);
            subtitleRow_->insertWidget(0, pid_);
        }
        if (process->startTime) {
            const double up = std::max(0.0, Date::now() - *process->startTime);
            setTextIfChanged(uptime_, QStringLiteral(" · ") + L10n::text("up", "已运行") + QLatin1Char(' ')
                                          + Fmt::duration(up));
        } else {
            uptime_->clear();
        }
    }

    QString title() const { return title_->text(); }
    QString titleToolTip() const { return title_->toolTip(); }
    QString subtitle() const
    {
        return (pid_ ? pid_->display() : count_->text()) + uptime_->text();
    }

private:
    void dropPid()
    {
        delete pid_;
        pid_ = nullptr;
    }

    ProcessIcon* icon_;
    ShrinkLabel* title_;
    QHBoxLayout* subtitleRow_;
    QLabel* count_;
    QLabel* uptime_;
    CopyText* pid_ = nullptr;
    int32_t pidValue_ = 0;
    PressButton* close_;
};

// One row per open incident of the group, painted.
class Alerts : public QWidget {
public:
    using QWidget::QWidget;
    static constexpr int rowHeight = 28;

    void set(const std::vector<Incident>& alerts)
    {
        std::vector<Row> rows;
        for (const Incident& i : alerts)
            rows.push_back({i.title(), i.peakText, i.severity == Severity::critical});
        if (rows == rows_)
            return;
        rows_ = std::move(rows);
        setVisible(!rows_.empty());
        setFixedHeight(rows_.empty() ? 0 : int(rows_.size()) * rowHeight + (int(rows_.size()) - 1) * 6);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QFont titleFont = Fonts::font(11.5, QFont::Medium);
        const QFont peakFont = Fonts::mono(10.5);
        double y = 0;
        for (const Row& r : rows_) {
            const QColor tone = r.critical ? Theme::crit() : Theme::warn();
            const QRectF box(0, y, width(), rowHeight);
            p.setPen(Qt::NoPen);
            p.setBrush(faded(tone, 0.08));
            p.drawRoundedRect(box, 6, 6);
            p.setBrush(tone);
            p.drawEllipse(QRectF(10, box.center().y() - 3, 6, 6));
            const double peakWidth = QFontMetricsF(peakFont).horizontalAdvance(r.peak);
            p.setFont(peakFont);
            p.setPen(tone);
            p.drawText(QRectF(box.right() - 10 - peakWidth, y, peakWidth + 1, rowHeight), Qt::AlignVCenter, r.peak);
            p.setFont(titleFont);
            p.setPen(Theme::text());
            const double room = box.width() - 24 - 8 - peakWidth - 10;
            p.drawText(QRectF(24, y, room, rowHeight), Qt::AlignVCenter,
                       Fonts::elided(QFontMetricsF(titleFont), r.title, Qt::ElideRight, room));
            y += rowHeight + 6;
        }
    }

private:
    struct Row {
        QString title, peak;
        bool critical = false;
        bool operator==(const Row&) const = default;
    };
    std::vector<Row> rows_;
};

// The six figure tiles in a grid of two columns, painted.
class Tiles : public QWidget {
public:
    static constexpr double tileHeight = 9 + 12 + 4 + 19 + 4 + 20 + 9;

    explicit Tiles(QWidget* parent) : QWidget(parent) { setFixedHeight(int(3 * tileHeight + 2 * 8)); }

    void set(const std::array<TileModel, 6>& tiles)
    {
        if (tiles == tiles_)
            return;
        tiles_ = tiles;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double w = (width() - 8) / 2.0;
        const QFont titleFont = Fonts::font(9.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6);
        const QFont valueFont = Fonts::mono(15, QFont::Medium);
        for (int i = 0; i < 6; ++i) {
            const TileModel& t = tiles_[std::size_t(i)];
            const QRectF box((i % 2) * (w + 8), (i / 2) * (tileHeight + 8), w, tileHeight);
            QPainterPath shape;
            shape.addRoundedRect(box, 6, 6);
            p.fillPath(shape, Theme::bg());
            p.setPen(QPen(Theme::line(), 1));
            p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
            const QRectF inner = box.adjusted(9, 9, -9, -9);
            p.setFont(titleFont);
            p.setPen(Theme::dim());
            p.drawText(QRectF(inner.left(), inner.top(), inner.width(), 12), Qt::AlignLeft | Qt::AlignVCenter, t.title);
            const Fonts::Fitted fitted = Fonts::shrinkToFit(t.value, valueFont, inner.width(), 0.7);
            p.setFont(fitted.font);
            p.setPen(Theme::text());
            p.drawText(QRectF(inner.left(), inner.top() + 16, inner.width(), 19), Qt::AlignLeft | Qt::AlignVCenter,
                       fitted.text);
            const std::size_t n = std::min<std::size_t>(t.values.size(), sparkPoints);
            const QRectF spark(inner.left(), inner.bottom() - 20, inner.width(), 20);
            const QPainterPath path = sparkPath(std::span(t.values).last(n), t.floor, spark);
            p.setPen(QPen(t.color, 1, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
    }

private:
    std::array<TileModel, 6> tiles_;
};

// One member row; rows come from a pool and are updated in place.
class MemberRowView : public QWidget {
public:
    MemberRowView(std::function<void(int32_t)> click, QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(22);
        RowFeedback::apply(this, 4, [this, click = std::move(click)] { click(row_.pid); });
    }
    void set(const MemberRow& row)
    {
        if (row == row_)
            return;
        // A pooled row that now shows another pid is another row: its
        // background starts where it stands.
        const bool samePid = shown_ && row.pid == row_.pid;
        row_ = row;
        shown_ = true;
        const double target = row.focused ? 1 : 0;
        if (!samePid)
            focus_.set(target);
        else if (focus_.target() != target)
            focus_.setTarget(target, Animation::timing(Motion::ease(), Motion::quick()));
        animate();
    }
    const MemberRow& row() const { return row_; }
    double focusAmount() const { return focus_.value(); }

protected:
    void hideEvent(QHideEvent* event) override
    {
        focus_.set(focus_.target());
        FrameClock::shared().unsubscribe(this);
        QWidget::hideEvent(event);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(row_.departed ? 0.4 : 1);
        if (const double focus = std::clamp(focus_.value(), 0.0, 1.0); focus > 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(faded(Theme::raised(), focus));
            p.drawRoundedRect(rect(), 4, 4);
        }
        const QFont mono = Fonts::mono(10);
        const QFontMetricsF mm(mono);
        const double h = height();
        p.setFont(mono);
        p.setPen(Theme::faint());
        p.drawText(QRectF(6, 0, 46, h), Qt::AlignRight | Qt::AlignVCenter, QString::number(row_.pid));
        double right = width() - 6;
        p.setPen(Theme::dim());
        if (!row_.mem.isEmpty()) {
            p.drawText(QRectF(right - 46, 0, 46, h), Qt::AlignRight | Qt::AlignVCenter, row_.mem);
            right -= 46 + 6;
        }
        const double cpuWidth = mm.horizontalAdvance(row_.cpu);
        p.drawText(QRectF(right - cpuWidth, 0, cpuWidth + 1, h), Qt::AlignRight | Qt::AlignVCenter, row_.cpu);
        right -= cpuWidth + 4;
        const QFont name = Fonts::font(11);
        p.setFont(name);
        p.setPen(Theme::text());
        const double left = 6 + 46 + 6;
        p.drawText(QRectF(left, 0, right - left, h), Qt::AlignLeft | Qt::AlignVCenter,
                   Fonts::elided(QFontMetricsF(name), row_.name, Qt::ElideRight, std::max(0.0, right - left)));
    }

private:
    void animate()
    {
        update();
        if (!focus_.moving() || !isVisible()) {
            focus_.set(focus_.target());
            FrameClock::shared().unsubscribe(this);
            return;
        }
        FrameClock::shared().subscribe(this, [this](double dt) {
            const bool moving = focus_.step(dt);
            update();
            return moving;
        });
    }

    MemberRow row_;
    bool shown_ = false;
    AnimatedValue focus_{0};
};

class Members : public QWidget {
public:
    Members(Monitor& m, QWidget* parent) : QWidget(parent), m_(m)
    {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(6);
        auto* head = new QHBoxLayout;
        head->addWidget(new PanelLabel(L10n::text("Processes", "成员进程"), Theme::dim(), this));
        head->addStretch(1);
        showGroup_ = new PressButton(PressStyle::text(), L10n::text("Show group", "查看整组"), this);
        showGroup_->setLabelFont(Fonts::font(10.5));
        showGroup_->setColor(Theme::cpu());
        QObject::connect(showGroup_, &PressButton::clicked, this, [this] { m_.setFocusPid(std::nullopt); });
        head->addWidget(showGroup_);
        column->addLayout(head);
        rows_ = new QVBoxLayout;
        rows_->setSpacing(0);
        column->addLayout(rows_);
        more_ = label(Fonts::mono(9.5), Theme::faint(), this);
        column->addWidget(more_);
    }

    void set(const MemberList& list, bool focused)
    {
        const std::vector<MemberRow>& rows = list.rows;
        showGroup_->setVisible(focused);
        while (pool_.size() < rows.size()) {
            auto* row = new MemberRowView([this](int32_t pid) { toggle(pid); }, this);
            rows_->addWidget(row);
            pool_.push_back(row);
        }
        for (std::size_t i = 0; i < pool_.size(); ++i) {
            if (i < rows.size())
                pool_[i]->set(rows[i]);
            pool_[i]->setVisible(i < rows.size());
        }
        more_->setVisible(list.more.has_value());
        setTextIfChanged(more_, list.more.value_or(QString()));
    }

    QString shownMore() const { return more_->isVisibleTo(this) ? more_->text() : QString(); }

private:
    void toggle(int32_t pid)
    {
        m_.setFocusPid(m_.focusPid() == pid ? std::nullopt : std::optional<int32_t>(pid));
    }

    Monitor& m_;
    PressButton* showGroup_;
    QVBoxLayout* rows_;
    std::vector<MemberRowView*> pool_;
    QLabel* more_;
};

// The descriptor bar and its legend, painted.
class FdBar : public QWidget {
public:
    explicit FdBar(QWidget* parent) : QWidget(parent) { setFixedHeight(5 + 6 + 12); }
    void set(const std::vector<std::pair<QString, int64_t>>& entries)
    {
        if (entries == entries_)
            return;
        entries_ = entries;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        static const std::array<QColor, 5> colours{Theme::mem(), Theme::net(), Theme::disk(), Theme::cpu(),
                                                    Theme::faint()};
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        int64_t total = 0;
        for (const auto& e : entries_)
            total += e.second;
        total = std::max<int64_t>(total, 1);
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(0, 0, width(), 5), 2.5, 2.5);
        p.save();
        p.setClipPath(capsule);
        double x = 0;
        for (std::size_t i = 0; i < entries_.size() && i < colours.size(); ++i) {
            if (entries_[i].second < 1)
                continue;
            const double w = std::max((width() - 6.0) * double(entries_[i].second) / double(total), 2.0);
            p.fillRect(QRectF(x, 0, w, 5), colours[i]);
            x += w + 1.5;
        }
        p.restore();
        const QFont font = Fonts::mono(9.5);
        p.setFont(font);
        x = 0;
        for (std::size_t i = 0; i < entries_.size() && i < colours.size(); ++i) {
            if (entries_[i].second < 1)
                continue;
            p.setPen(Qt::NoPen);
            p.setBrush(colours[i]);
            p.drawEllipse(QRectF(x, 11 + 3.5, 5, 5));
            const QString text = entries_[i].first + QLatin1Char(' ') + QString::number(entries_[i].second);
            p.setPen(Theme::dim());
            const double w = QFontMetricsF(font).horizontalAdvance(text);
            p.drawText(QRectF(x + 8, 11, w + 1, 12), Qt::AlignVCenter, text);
            x += 8 + w + 10;
        }
    }

private:
    std::vector<std::pair<QString, int64_t>> entries_;
};

// The command line as selectable text. A word wider than the column (a
// long name run from its folder) wraps within it instead of widening the
// inspector. Five lines show at most, the fifth ending in "…" when more
// follows; the wheel scrolls the inspector, not the lines. The copies are
// the argument vector quoted for a shell, never the lines shown.
class CommandLabel : public QPlainTextEdit {
public:
    explicit CommandLabel(QWidget* parent) : QPlainTextEdit(parent)
    {
        setReadOnly(true);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        document()->setDocumentMargin(0);
        viewport()->setAutoFillBackground(false);
        setAutoFillBackground(false);
    }
    std::function<QString()> command, path;

    // The whole text, of which the lines show the first five.
    QString text() const { return full_; }
    void setText(const QString& text)
    {
        if (text == full_)
            return;
        full_ = text;
        fit();
    }
    void setColor(const QColor& color)
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Text, color);
        pal.setColor(QPalette::Base, Qt::transparent);
        setPalette(pal);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QPlainTextEdit::resizeEvent(event);
        fit();
    }
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        QMenu menu(this);
        menu.addAction(L10n::text("Copy Command Line", "复制命令行"), [this] { copyPlain(command()); });
        menu.addAction(L10n::text("Copy Executable Path", "复制可执行文件路径"), [this] { copyPlain(path()); });
        menu.exec(event->globalPos());
    }

private:
    static constexpr int maxLines = 5;

    // As tall as the text's lines at this width, five at most; a text that
    // needs more shows the first four and as much of the rest as the fifth
    // holds, cut with "…". Measured in the edit's own layout, which breaks
    // lines a little short of the viewport and counts their leading.
    void fit()
    {
        const auto laidOut = [this](const QString& text) {
            if (text != toPlainText())
                setPlainText(text);
            const QTextBlock block = document()->firstBlock();
            document()->documentLayout()->blockBoundingRect(block);
            return block.layout();
        };
        QTextLayout* layout = laidOut(full_);
        if (layout && layout->lineCount() > maxLines) {
            const QTextLine last = layout->lineAt(maxLines - 1);
            // A little short of the line, so the cut line never wraps.
            const QString rest = QFontMetricsF(font()).elidedText(full_.mid(last.textStart()) + QChar(0x2026),
                                                                  Qt::ElideRight, last.width() - 2);
            layout = laidOut(full_.left(last.textStart()) + rest);
        }
        double height = QFontMetricsF(font()).height();
        if (layout && layout->lineCount() > 0)
            height = layout->lineAt(std::min(layout->lineCount(), maxLines) - 1).rect().bottom();
        const QMargins m = contentsMargins();
        const int want = int(std::ceil(height)) + m.top() + m.bottom();
        if (want != this->height())
            setFixedHeight(want);
    }

    QString full_;
};

class Detail : public QWidget {
public:
    explicit Detail(QWidget* parent) : QWidget(parent)
    {
        column_ = new QVBoxLayout(this);
        column_->setContentsMargins(0, 0, 0, 0);
        column_->setSpacing(5);
        fdLabel_ = new PanelLabel(L10n::text("File handles", "句柄构成"), Theme::dim(), this);
        column_->addWidget(fdLabel_);
        fdBar_ = new FdBar(this);
        column_->addWidget(fdBar_);
        column_->addSpacing(5);
        column_->addWidget(new PanelLabel(L10n::text("Origin", "来源"), Theme::dim(), this));
        command_ = new CommandLabel(this);
        command_->setFont(Fonts::mono(10));
        command_->setToolTip(L10n::text("Select text, or right-click to copy the whole command line or the executable path",
                                        "可选中文字；右键可复制整条命令行或可执行文件路径"));
        command_->setColor(Theme::dim());
        command_->command = [this] { return copiedCommand_; };
        command_->path = [this] { return copiedPath_; };
        column_->addWidget(command_);
        note_ = label(Fonts::font(10.5), Theme::faint(), this);
        note_->setWordWrap(true);
        column_->addWidget(note_);
    }

    void set(const ProcSample& process, const std::optional<ProcSample>& parent, const QString& commandLine,
             const QString& copiedCommand, const QString& copiedPath,
             const std::vector<std::pair<QString, int64_t>>& fds)
    {
        copiedCommand_ = copiedCommand;
        copiedPath_ = copiedPath;
        fdLabel_->setVisible(!fds.empty());
        fdBar_->setVisible(!fds.empty());
        fdBar_->set(fds);
        const QString parentText = parent ? L10n::text("Parent ", "父进程 ") + OutsideText::isolate(parent->name)
                                                + QStringLiteral(" (%1)").arg(parent->pid)
                                          : QString();
        if (parentText != parentText_) {
            parentText_ = parentText;
            delete parent_;
            parent_ = nullptr;
            if (parent) {
                parent_ = new CopyText(parentText, QString::number(parent->pid), Fonts::mono(10), Theme::dim(),
                                       Qt::ElideMiddle, this);
                column_->insertWidget(column_->indexOf(command_), parent_);
            }
        }
        // An argument or a path may hold a line break, which would pass for
        // the start of another argument; it shows as an escape instead.
        command_->setText(visibleCommandLine(commandLine.isEmpty() ? process.path : commandLine));
        note_->setVisible(process.restricted);
        if (process.restricted)
            note_->setText(restrictedNote(process));
    }

    QString shownCommand() const { return command_->text(); }

private:
    QVBoxLayout* column_;
    PanelLabel* fdLabel_;
    FdBar* fdBar_;
    CopyText* parent_ = nullptr;
    QString parentText_;
    CommandLabel* command_;
    QLabel* note_;
    QString copiedCommand_, copiedPath_;
};

class ConnectionRowView : public QWidget {
public:
    explicit ConnectionRowView(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(18);
        row_ = new QHBoxLayout(this);
        row_->setContentsMargins(11, 0, 0, 0); // room for the dot
        row_->setSpacing(6);
        traffic_ = label(Fonts::mono(9), Theme::faint(), this);
        row_->addWidget(traffic_);
    }

    void set(const ConnectionRow& row)
    {
        if (row == model_)
            return;
        const bool hostChanged = !host_ || row.display != model_.display || row.copied != model_.copied
            || row.active != model_.active;
        model_ = row;
        if (hostChanged) {
            delete host_;
            host_ = new CopyText(row.display, row.copied, Fonts::mono(9.5), row.active ? Theme::text() : Theme::dim(),
                                 Qt::ElideMiddle, this);
            row_->insertWidget(0, host_, 1);
        }
        traffic_->setText(row.traffic);
        QPalette pal = traffic_->palette();
        pal.setColor(QPalette::WindowText, row.active ? Theme::net() : Theme::faint());
        traffic_->setPalette(pal);
        traffic_->setToolTip(row.help);
        setToolTip(row.active ? L10n::text("Transferring data", "正在传输数据") : L10n::text("Idle connection", "连接空闲"));
        if (row.departed && !graphicsEffect()) {
            auto* effect = new QGraphicsOpacityEffect(this);
            effect->setOpacity(0.4);
            setGraphicsEffect(effect);
        } else if (!row.departed && graphicsEffect()) {
            setGraphicsEffect(nullptr);
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(model_.active ? Theme::net() : Theme::faint());
        p.drawEllipse(QRectF(0, height() / 2.0 - 2.5, 5, 5));
    }

private:
    QHBoxLayout* row_;
    CopyText* host_ = nullptr;
    QLabel* traffic_;
    ConnectionRow model_;
};

class ListeningLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::vector<int64_t> ports;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        QMenu menu(this);
        menu.addAction(L10n::text("Copy Port Numbers", "复制端口号"), [this] {
            QStringList parts;
            for (int64_t port : ports)
                parts << QString::number(port);
            copyPlain(parts.join(QLatin1Char(' ')));
        });
        menu.exec(event->globalPos());
    }
};

class Network : public QWidget {
public:
    explicit Network(QWidget* parent) : QWidget(parent)
    {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(6);
        auto* head = new QHBoxLayout;
        head->addWidget(new PanelLabel(L10n::text("Connections", "网络连接"), Theme::dim(), this));
        head->addStretch(1);
        count_ = label(Fonts::mono(9.5), Theme::faint(), this);
        head->addWidget(count_);
        column->addLayout(head);
        listening_ = new ListeningLabel(this);
        listening_->setFont(Fonts::mono(10));
        listening_->setTextFormat(Qt::PlainText);
        listening_->setWordWrap(true);
        listening_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QPalette pal = listening_->palette();
        pal.setColor(QPalette::WindowText, Theme::dim());
        listening_->setPalette(pal);
        column->addWidget(listening_);
        empty_ = label(Fonts::font(10.5), Theme::faint(), this);
        empty_->setWordWrap(true);
        empty_->setText(L10n::text("No open connections. They appear here once the process connects.",
                                   "当前没有打开的连接。建立连接后将显示在此。"));
        column->addWidget(empty_);
        rows_ = new QVBoxLayout;
        rows_->setSpacing(6);
        column->addLayout(rows_);
        more_ = label(Fonts::mono(9.5), Theme::faint(), this);
        column->addWidget(more_);
    }

    void set(const NetworkModel& model)
    {
        setTextIfChanged(count_, model.count);
        listening_->setVisible(model.listening.has_value());
        setTextIfChanged(listening_, model.listening.value_or(QString()));
        listening_->ports = model.ports;
        empty_->setVisible(model.empty);
        while (pool_.size() < model.rows.size()) {
            auto* row = new ConnectionRowView(this);
            rows_->addWidget(row);
            pool_.push_back(row);
        }
        for (std::size_t i = 0; i < pool_.size(); ++i) {
            if (i < model.rows.size())
                pool_[i]->set(model.rows[i]);
            pool_[i]->setVisible(i < model.rows.size());
        }
        more_->setVisible(model.more.has_value());
        setTextIfChanged(more_, model.more.value_or(QString()));
    }

private:
    QLabel* count_;
    ListeningLabel* listening_;
    QLabel* empty_;
    QVBoxLayout* rows_;
    std::vector<ConnectionRowView*> pool_;
    QLabel* more_;
};

// "N new alerts" over the top of the scrolling area, a button on a warning
// capsule. It drops in from 8 points above while fading in, and leaves the
// same way, on a slightly bouncy spring; under reduce motion it only fades.
class Badge : public PressButton {
public:
    static constexpr double glyph = 8.5;
    static constexpr double padding = 10;
    static constexpr double spacing = 5;

    Badge(std::function<void()> click, QWidget* parent) : PressButton(PressStyle::surface(PressStyle::capsule), parent)
    {
        setFixedHeight(22);
        setLabelFont(Fonts::font(10.5, QFont::DemiBold));
        setCursor(Qt::PointingHandCursor);
        setToolTip(L10n::text("This process has new alerts. Click to show them.", "这个进程有新的告警。点击查看。"));
        QObject::connect(this, &PressButton::clicked, this, std::move(click));
        hide();
    }

    void set(const std::optional<QString>& text)
    {
        const bool show = text.has_value();
        if (show && *text != this->text()) {
            setText(*text);
            const double textWidth = QFontMetricsF(labelFont()).horizontalAdvance(*text);
            setFixedWidth(int(std::ceil(padding + glyph + spacing + textWidth + padding)));
        }
        if (show == wanted_)
            return;
        wanted_ = show;
        shown_.setTarget(show ? 1 : 0, Animation::spring(Motion::standard(), 0.9));
        if (show)
            QWidget::show();
        animate();
    }

    bool wanted() const { return wanted_; }
    // Where the badge rests; it is drawn above it while it moves in or out.
    void rest(QPoint at)
    {
        rest_ = at;
        place();
    }

protected:
    void paintLabel(QPainter& p, const QRectF& box, const QColor&) override
    {
        // The press wash is drawn after the label with the same painter, so
        // it fades in and out with the badge.
        p.setOpacity(std::clamp(shown_.value(), 0.0, 1.0));
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::warn());
        p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
        const double x = box.left() + padding;
        Symbols::draw(p, QRectF(x, box.center().y() - glyph / 2, glyph, glyph),
                      QStringLiteral("exclamationmark.triangle.fill"), Theme::bg());
        p.setFont(labelFont());
        p.setPen(Theme::bg());
        const double textLeft = x + glyph + spacing;
        p.drawText(QRectF(textLeft, box.top(), box.right() - textLeft, box.height()), Qt::AlignVCenter, text());
    }
    void hideEvent(QHideEvent* event) override
    {
        FrameClock::shared().unsubscribe(&motion_);
        shown_.set(shown_.target());
        PressButton::hideEvent(event);
    }

private:
    void place()
    {
        const bool still = DesktopSettings::instance().reduceMotion();
        const double offset = still ? 0 : -8 * (1 - std::clamp(shown_.value(), 0.0, 1.0));
        move(rest_.x(), rest_.y() + int(std::lround(offset)));
    }
    void settled()
    {
        if (!wanted_)
            QWidget::hide();
    }
    void animate()
    {
        place();
        update();
        if (!isVisible()) {
            shown_.set(shown_.target());
            settled();
            return;
        }
        // The press feedback runs on the button's own subscription; the
        // entrance has one of its own.
        if (FrameClock::shared().subscribed(&motion_))
            return;
        FrameClock::shared().subscribe(&motion_, [this](double dt) {
            const bool moving = shown_.step(dt);
            place();
            update();
            if (!moving)
                settled();
            return moving;
        });
    }

    QObject motion_;
    bool wanted_ = false;
    QPoint rest_;
    AnimatedValue shown_{0};
};

} // namespace InspectorParts

using namespace InspectorParts;

InspectorView::InspectorView(Monitor& monitor, QWidget* parent)
    : QWidget(parent), m_(monitor), gate_(this, [this] { refresh(); }), hold_(QStringLiteral("inspector"))
{
    fillBackground(this, Theme::panel());
    pages_ = new QStackedLayout(this);
    present_ = new QWidget(this);
    buildPresent(present_);
    pages_->addWidget(present_);

    gonePage_ = new QWidget(this);
    auto* gone = new QVBoxLayout(gonePage_);
    gone->addStretch(1);
    auto* text = label(Fonts::font(13, QFont::Medium), Theme::dim(), gonePage_);
    text->setText(L10n::text("Process exited", "进程已退出"));
    gone->addWidget(text, 0, Qt::AlignHCenter);
    gone->addSpacing(10);
    auto* closeButton = new PressButton(PressStyle::text(), L10n::text("Close", "关闭"), gonePage_);
    closeButton->setLabelFont(QApplication::font());
    closeButton->setColor(Theme::cpu());
    connect(closeButton, &PressButton::clicked, this, &InspectorView::closeInspector);
    gone->addWidget(closeButton, 0, Qt::AlignHCenter);
    gone->addStretch(1);
    pages_->addWidget(gonePage_);

    for (auto signal : {&Monitor::snapshotChanged, &Monitor::selectionChanged, &Monitor::focusPidChanged,
                        &Monitor::incidentsChanged, &Monitor::prefsChanged})
        connect(&m_, signal, this, &InspectorView::scheduleRefresh);
    connect(&m_, &Monitor::snapshotChanged, this, [this] { freshSnapshot_ = true; });
    connect(&hold_, &InteractionHold::withheldChanged, this, &InspectorView::scheduleRefresh);
    connect(&hold_, &InteractionHold::activeChanged, this, &InspectorView::scheduleRefresh);
    refresh();
}

InspectorView::~InspectorView() = default;

void InspectorView::buildPresent(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    header_ = new Header([this] { closeInspector(); }, page);
    column->addWidget(header_);

    scroll_ = new QScrollArea(page);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    auto* content = new QWidget;
    fillBackground(content, Theme::panel());
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(14, 14, 14, 14);
    sections->setSpacing(16);
    alertsView_ = new Alerts(content);
    tilesView_ = new Tiles(content);
    membersView_ = new Members(m_, content);
    detailView_ = new Detail(content);
    networkView_ = new Network(content);
    for (QWidget* w : std::initializer_list<QWidget*>{alertsView_, tilesView_, membersView_, detailView_, networkView_})
        sections->addWidget(w);
    sections->addStretch(1);
    scroll_->setWidget(content);
    HoverHold::attach(scroll_, hold_);
    column->addWidget(scroll_, 1);

    badge_ = new Badge([this] { showNewAlerts(); }, page);

    auto* rule = new QWidget(page);
    rule->setFixedHeight(1);
    fillBackground(rule, Theme::line());
    column->addWidget(rule);

    auto* actions = new QWidget(page);
    buildActions(actions);
    column->addWidget(actions);
}

void InspectorView::buildActions(QWidget* box)
{
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    auto* first = new QHBoxLayout;
    first->setSpacing(8);
    quit_ = new HoldButton(L10n::text("Quit", "结束"), QStringLiteral("stop.fill"), Theme::warn(),
                           [this](const std::vector<int32_t>& ids) { signal(ids, false); }, box);
    forceQuit_ = new HoldButton(L10n::text("Force quit", "强制结束"), QStringLiteral("bolt.fill"), Theme::crit(),
                                [this](const std::vector<int32_t>& ids) { signal(ids, true); }, box);
    for (HoldButton* b : {quit_, forceQuit_})
        first->addWidget(b, 1);
    column->addLayout(first);
    auto* second = new QHBoxLayout;
    second->setSpacing(8);
    auto plain = [&](void (InspectorView::*act)()) {
        auto* b = new PlainButton(box);
        b->setLabelFont(Fonts::font(11, QFont::Medium));
        b->setSymbolWeight(QFont::DemiBold);
        b->setSymbolGap(5);
        b->setMinimumTextScale(0.85);
        b->setContentsMargins(6, 0, 6, 0);
        b->setColor(Theme::text());
        b->setFixedHeight(28);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(b, &PressButton::clicked, this, act);
        second->addWidget(b, 1);
        return b;
    };
    pause_ = plain(&InspectorView::togglePause);
    mute_ = plain(&InspectorView::toggleMute);
    reveal_ = plain(&InspectorView::revealItem);
    reveal_->setText(L10n::text("Reveal", "显示位置"));
    reveal_->setSymbol(QStringLiteral("folder"), 10);
    reveal_->setToolTip(L10n::text("Show in File Manager", "在文件管理器中显示"));
    column->addLayout(second);
    actionNote_ = label(Fonts::font(10.5), Theme::faint(), box);
    actionNote_->setWordWrap(true);
    actionNote_->hide();
    column->addWidget(actionNote_);
}

void InspectorView::setProcRoot(const QString& root)
{
    procRoot_ = root;
    detailOf_.reset();
    capturedOf_.clear();
    refresh();
}

bool InspectorView::gone() const
{
    return !inspection_.group;
}

QString InspectorView::title() const
{
    return header_->title();
}

QString InspectorView::titleToolTip() const
{
    return header_->titleToolTip();
}

QString InspectorView::shownCommand() const
{
    return detailView_->shownCommand();
}

QString InspectorView::subtitle() const
{
    return header_->subtitle();
}

std::optional<QString> InspectorView::badgeText() const
{
    return badge_->wanted() ? std::optional<QString>(badge_->text()) : std::nullopt;
}

QString InspectorView::shownMembersMore() const
{
    return membersShown() ? membersView_->shownMore() : QString();
}

bool InspectorView::membersShown() const
{
    return membersView_->isVisibleTo(present_);
}

QString InspectorView::actionNote() const
{
    return actionNote_->isVisibleTo(present_) ? actionNote_->text() : QString();
}

bool InspectorView::detailShown() const
{
    return detailView_->isVisibleTo(present_);
}

void InspectorView::recapture()
{
    std::vector<std::pair<int32_t, std::optional<Date>>> identities;
    identities.reserve(inspection_.pids.size());
    if (inspection_.process)
        identities.emplace_back(inspection_.process->pid, inspection_.process->startTime);
    else
        for (const ProcSample& p : inspection_.group->members)
            identities.emplace_back(p.pid, p.startTime);
    if (identities == capturedOf_)
        return;
    // Only processes new to the targets are read: a large group whose
    // members come and go would otherwise read every member's stat here.
    std::unordered_map<int32_t, std::optional<Date>> before;
    before.reserve(capturedOf_.size());
    for (const auto& [pid, start] : capturedOf_)
        before.emplace(pid, start);
    std::unordered_map<int32_t, uint64_t> kept;
    std::vector<int32_t> fresh;
    for (const auto& [pid, start] : identities) {
        const auto was = before.find(pid);
        const auto known = captured_.find(pid);
        if (was != before.end() && was->second == start && known != captured_.end())
            kept.emplace(pid, known->second);
        else
            fresh.push_back(pid);
    }
    for (const auto& t : ProcessSignals::capture(fresh, procRoot_.toStdString()))
        kept[t.pid] = t.startTime;
    captured_ = std::move(kept);
    capturedOf_ = std::move(identities);
}

void InspectorView::forgetMarks(const GroupSample& group)
{
    if (stopped_.empty() && resumed_.empty())
        return;
    auto member = [&](int32_t pid) -> const ProcSample* {
        const auto it = std::find_if(group.members.begin(), group.members.end(),
                                     [pid](const ProcSample& p) { return p.pid == pid; });
        return it == group.members.end() ? nullptr : &*it;
    };
    // A pid that now names another process: what was done here to the old
    // one says nothing about the new one.
    auto reused = [&](int32_t pid) {
        const ProcSample* now = member(pid);
        const auto before = std::find_if(capturedOf_.begin(), capturedOf_.end(),
                                         [pid](const auto& id) { return id.first == pid; });
        return now && before != capturedOf_.end() && before->second != now->startTime;
    };
    std::erase_if(stopped_, reused);
    // Once a sample shows a resumed pid running, the kernel has caught up.
    std::erase_if(resumed_, [&](int32_t pid) {
        const ProcSample* now = member(pid);
        return reused(pid) || (now && !now->stopped());
    });
}

void InspectorView::readDetail(bool processChanged)
{
    const ProcSample& p = *inspection_.process;
    if (processChanged) {
        const std::vector<QByteArray> arguments = ProcessInspect::arguments(p.pid, procRoot_);
        commandLine_ = ProcessInspect::commandLine(arguments);
        // What a paste into a shell runs: the same vector, or the same
        // executable, and nothing else.
        QByteArray executable = ProcessInspect::executable(p.pid, procRoot_);
        if (executable.isEmpty())
            executable = p.path.toUtf8();
        copiedPath_ = executable.isEmpty() ? QString() : shellCommand({executable});
        copiedCommand_ = arguments.empty() ? copiedPath_ : shellCommand(arguments);
        fds_.clear();
    }
    if (!processChanged && !freshSnapshot_)
        return;
    const std::uint64_t token = ++fdToken_;
    if (p.restricted) {
        fds_.clear();
        return;
    }
    ++detailReads_;
    // A process with thousands of descriptors takes tens of milliseconds to
    // list, so the listing runs off the main thread; only the newest request
    // is applied.
    QPointer<InspectorView> self(this);
    const int32_t pid = p.pid;
    QThreadPool::globalInstance()->start([self, token, pid, root = procRoot_] {
        auto counts = ProcessInspect::fdBreakdown(pid, root);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [self, token, counts = std::move(counts)]() mutable {
                if (!self || self->fdToken_ != token)
                    return;
                self->fds_ = std::move(counts);
                self->refresh();
            },
            Qt::QueuedConnection);
    });
}

void InspectorView::refresh()
{
    const std::optional<GroupSample> group = m_.selectedGroup();
    if (group)
        forgetMarks(*group);
    inspection_ = resolveInspection(group, m_.focusPid(), m_.series(), stopped_, resumed_, me_);
    if (!inspection_.group) {
        pages_->setCurrentWidget(gonePage_);
        return;
    }
    pages_->setCurrentWidget(present_);
    const GroupSample& g = *inspection_.group;
    const auto& process = inspection_.process;
    recapture();

    header_->set(g, process);

    std::vector<Incident> open = m_.openIncidents();
    alerts_ = alertRows(open, g.key, alertsShown_, hold_);
    alertsView_->set(alerts_);
    badge_->set(newAlertsText(hold_.withheld()));
    placeBadge();

    // The limits the alert rules apply: a zero or negative one falls back.
    tiles_ = tileModels(g, process, inspection_.series, m_.prefs().thresholds.usable());
    tilesView_->set(tiles_);

    const bool many = g.members.size() >= 2;
    membersView_->setVisible(many);
    if (many) {
        members_ = memberRows(g, m_.focusPid(), hold_);
        membersView_->set(members_, m_.focusPid().has_value());
    } else {
        members_ = {};
    }

    detailView_->setVisible(process.has_value());
    if (process) {
        const std::pair<int32_t, std::optional<Date>> of{process->pid, process->startTime};
        const bool processChanged = detailOf_ != of;
        detailOf_ = of;
        readDetail(processChanged);
        detailView_->set(*process, parentOf(m_.snapshot(), *process), commandLine_, copiedCommand_, copiedPath_, fds_);
    }
    freshSnapshot_ = false;

    network_ = networkModel(m_.snapshot(), inspection_.pids, hold_);
    networkView_->set(network_);

    quit_->setTargets(inspection_.signalable);
    forceQuit_->setTargets(inspection_.signalable);
    // Offered only where the user may signal; otherwise the note says
    // whose the processes are. A refusal is said until the targets change.
    const std::optional<QString> note = signalNote(g, process, me_);
    for (QWidget* b : std::initializer_list<QWidget*>{quit_, forceQuit_, pause_})
        b->setEnabled(!note);
    if (refusalOf_ != inspection_.pids)
        refusal_.reset();
    const std::optional<QString> said = note ? note : refusal_;
    actionNote_->setVisible(said.has_value());
    if (said) {
        actionNote_->setText(*said);
        QPalette pal = actionNote_->palette();
        pal.setColor(QPalette::WindowText, note ? Theme::faint() : Theme::warn());
        actionNote_->setPalette(pal);
    }
    const bool paused = inspection_.paused;
    pause_->setText(paused ? L10n::text("Resume", "继续运行") : L10n::text("Pause", "暂停"));
    pause_->setSymbol(paused ? QStringLiteral("play.fill") : QStringLiteral("pause.fill"), 10);
    const bool muted = m_.prefs().ignored.contains(g.name);
    mute_->setText(muted ? L10n::text("Unmute", "恢复告警") : L10n::text("Mute alerts", "不再告警"));
    mute_->setSymbol(QStringLiteral("bell.slash"), 10);
}

void InspectorView::placeBadge()
{
    if (!scroll_ || !badge_)
        return;
    const QRect area = scroll_->geometry();
    badge_->rest({area.center().x() - badge_->width() / 2, area.top() + 8});
    badge_->raise();
}

void InspectorView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeBadge();
}

void InspectorView::showNewAlerts()
{
    ++alertsShown_;
    refresh();
    scrollToTop();
}

void InspectorView::scrollToTop()
{
    QScrollBar* bar = scroll_->verticalScrollBar();
    FrameClock::shared().unsubscribe(bar);
    const bool still = DesktopSettings::instance().reduceMotion();
    if (still || !isVisible() || bar->value() == bar->minimum()) {
        bar->setValue(bar->minimum());
        return;
    }
    scrollTop_.channels().setTolerance(0.5);
    scrollTop_.set(bar->value());
    scrollTop_.setTarget(bar->minimum(), Animation::spring(Motion::standard()));
    FrameClock::shared().subscribe(bar, [this, bar, last = bar->value()](double dt) mutable {
        // Scrolling by hand meanwhile takes over.
        if (bar->value() != last)
            return false;
        const bool moving = scrollTop_.step(dt);
        last = moving ? int(std::lround(scrollTop_.value())) : bar->minimum();
        bar->setValue(last);
        return moving && isVisible();
    });
}

void InspectorView::closeInspector()
{
    if (m_.selection())
        m_.setSelection(std::nullopt);
    if (m_.focusPid())
        m_.setFocusPid(std::nullopt);
}

void InspectorView::signal(const std::vector<int32_t>& pids, bool force)
{
    std::vector<ProcessSignals::Target> targets;
    for (int32_t pid : pids)
        if (const auto it = captured_.find(pid); it != captured_.end())
            targets.push_back({pid, it->second});
    const auto action = force ? ProcessSignals::Action::forceQuit : ProcessSignals::Action::quit;
    std::vector<int32_t> refused;
    ProcessSignals::send(targets, action, {procRoot_.toStdString(), std::nullopt}, &refused);
    if (sayRefused(action, refused.size(), targets.size()))
        refresh();
}

bool InspectorView::sayRefused(ProcessSignals::Action action, std::size_t refused, std::size_t total)
{
    const bool said = std::exchange(refusal_, std::nullopt).has_value();
    if (refused > 0 && inspection_.group) {
        const QString name = inspection_.process ? inspection_.process->name : inspection_.group->name;
        refusal_ = refusedText(action, name, refused, total);
        refusalOf_ = inspection_.pids;
    }
    return said || refusal_;
}

void InspectorView::togglePause()
{
    if (!inspection_.group)
        return;
    const bool resume = inspection_.paused;
    std::vector<ProcessSignals::Target> targets;
    for (int32_t pid : inspection_.signalable)
        if (const auto it = captured_.find(pid); it != captured_.end())
            targets.push_back({pid, it->second});
    const auto action = resume ? ProcessSignals::Action::resume : ProcessSignals::Action::pause;
    std::vector<int32_t> refused;
    const auto accepted = ProcessSignals::send(targets, action, {procRoot_.toStdString(), std::nullopt}, &refused);
    for (int32_t pid : accepted) {
        if (resume) {
            stopped_.erase(pid);
            resumed_.insert(pid);
        } else {
            stopped_.insert(pid);
            resumed_.erase(pid);
        }
    }
    sayRefused(action, refused.size(), targets.size());
    refresh();
}

void InspectorView::toggleMute()
{
    if (!inspection_.group)
        return;
    Preferences prefs = m_.prefs();
    prefs.ignored = toggledMute(prefs.ignored, inspection_.group->name);
    m_.setPrefs(prefs);
}

void InspectorView::revealItem()
{
    if (!inspection_.group)
        return;
    const QString path = revealPath(*inspection_.group, inspection_.process);
    if (!path.isEmpty())
        FileManager::reveal(path);
}
