#include "settings/reset_notice.h"

#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/press_button.h"
#include "ui/shrink_label.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr double radius = 6;

ShrinkLabel* pathLine(QWidget* parent)
{
    auto* line = new ShrinkLabel(QString(), Fonts::font(10.5), Theme::text(), 1, parent);
    line->setElideMode(Qt::ElideMiddle);
    line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return line;
}

} // namespace

ResetNotice::ResetNotice(std::function<void()> dismiss, QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 9, 10, 7);
    column->setSpacing(0);
    title_ = TextLabel::make(QString(), Fonts::font(11, QFont::DemiBold), Theme::warn(), true, this);
    detail_ = TextLabel::make(QString(), Fonts::font(10.5), Theme::dim(), true, this);
    folder_ = pathLine(this);
    name_ = pathLine(this);
    dismiss_ = new PressButton(PressStyle::text(), L10n::text("Dismiss", "知道了"), this);
    dismiss_->setLabelFont(Fonts::font(10.5, QFont::Medium));
    dismiss_->setColor(Theme::cpu());
    connect(dismiss_, &QAbstractButton::clicked, this, [dismiss = std::move(dismiss)] { dismiss(); });

    column->addWidget(title_);
    column->addSpacing(3);
    column->addWidget(detail_);
    column->addSpacing(3);
    column->addWidget(folder_);
    column->addWidget(name_);
    column->addSpacing(4);
    column->addWidget(dismiss_, 0, Qt::AlignLeft);
}

QString ResetNotice::shortPath(const QString& path)
{
    const QString home = QDir::homePath();
    if (home.size() > 1 && path.startsWith(home + u'/'))
        return u'~' + path.mid(home.size());
    return path;
}

void ResetNotice::setReset(const QString& file, bool kept)
{
    title_->setText(L10n::text("Your settings couldn't be read", "无法读取你的设置"));
    detail_->setText(kept ? L10n::text("The defaults are in use. The old file is kept as:",
                                       "现在使用的是默认设置。原来的文件另存为：")
                          : L10n::text("The defaults are in use. The old file is left as it was:",
                                       "现在使用的是默认设置。原来的文件保持原样，仍在："));
    setFile(file);
}

void ResetNotice::setIncidentsKept(const QString& file)
{
    title_->setText(L10n::text("Your incident log couldn't be read", "无法读取事件记录"));
    detail_->setText(L10n::text("A new log has begun. The old file is kept as:",
                                "已开始新的记录。原来的文件另存为："));
    setFile(file);
}

void ResetNotice::setFile(const QString& file)
{
    const QString shown = shortPath(file);
    const qsizetype slash = shown.lastIndexOf(u'/');
    folder_->setText(slash >= 0 ? shown.left(slash + 1) : QString());
    folder_->setVisible(slash >= 0);
    name_->setText(shown.mid(slash + 1));
    // The whole path, for a folder or name cut in the middle.
    setToolTip(file);
    setVisible(true);
}

QString ResetNotice::title() const
{
    return title_->text();
}

QString ResetNotice::detail() const
{
    return detail_->text();
}

QString ResetNotice::folderLine() const
{
    return folder_->text();
}

QString ResetNotice::nameLine() const
{
    return name_->text();
}

void ResetNotice::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(shape, Theme::withAlpha(Theme::warn(), 0.07));
    p.setPen(QPen(Theme::withAlpha(Theme::warn(), 0.35), 1));
    p.drawPath(shape);
}
