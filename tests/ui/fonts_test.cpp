// Faces resolve to the packaged families, sizes are whole pixels, widths,
// tracking and equal digits change what they should, and text shrinks to
// its minimum scale before it is cut.

#include "ui/fonts.h"
#include "ui/shrink_label.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

namespace {

double advance(const QFont& font, const QString& text)
{
    return QFontMetricsF(font).horizontalAdvance(text);
}

QImage draw(const QFont& font, const QString& text)
{
    QImage image(64, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(4, 24), text);
    return image;
}

} // namespace

TEST(Fonts, FacesAreThePackagedFamiliesWithTheChineseFallback)
{
    ASSERT_TRUE(Fonts::installed(Fonts::Face::ui)) << "fonts-inter is missing";
    ASSERT_TRUE(Fonts::installed(Fonts::Face::mono)) << "fonts-jetbrains-mono is missing";
    EXPECT_EQ(Fonts::families(Fonts::Face::ui),
              (QStringList{QStringLiteral("Inter"), QStringLiteral("WenQuanYi Micro Hei")}));
    EXPECT_EQ(Fonts::families(Fonts::Face::mono),
              (QStringList{QStringLiteral("JetBrains Mono"), QStringLiteral("WenQuanYi Micro Hei")}));
    EXPECT_EQ(QFontInfo(Fonts::font(12)).family(), QStringLiteral("Inter"));
    EXPECT_EQ(QFontInfo(Fonts::mono(12)).family(), QStringLiteral("JetBrains Mono"));

    // Chinese in either face is drawn by WenQuanYi, not by whatever
    // fontconfig would pick.
    QFont chinese;
    chinese.setFamilies({QStringLiteral("WenQuanYi Micro Hei")});
    chinese.setPixelSize(20);
    const QString text = QStringLiteral("点击复制");
    EXPECT_EQ(draw(Fonts::font(20), text), draw(chinese, text));
    EXPECT_EQ(draw(Fonts::mono(20), text), draw(chinese, text));
}

TEST(Fonts, SizesAreWholePixelsNeverBelowTheDesign)
{
    EXPECT_EQ(Fonts::pixelSize(10), 10);
    EXPECT_EQ(Fonts::pixelSize(9.5), 10);
    EXPECT_EQ(Fonts::pixelSize(7.5), 8);
    EXPECT_EQ(Fonts::pixelSize(10.0000000001), 10);
    EXPECT_EQ(Fonts::pixelSize(0), 1);
    EXPECT_EQ(Fonts::pixelSize(-3), 1);
    EXPECT_EQ(Fonts::pixelSize(std::nan("")), 1);
    EXPECT_EQ(Fonts::pixelSize(1e300), 4096);

    const QFont f = Fonts::font(10.5, QFont::DemiBold);
    EXPECT_EQ(f.pixelSize(), 11);
    EXPECT_EQ(f.pointSize(), -1);
    EXPECT_EQ(f.weight(), QFont::DemiBold);
    EXPECT_EQ(QFontInfo(Fonts::font(12, QFont::ExtraBold)).styleName(), QStringLiteral("Extra Bold"));
}

TEST(Fonts, WidthsTrackingAndEqualDigits)
{
    const QString word = QStringLiteral("TAVRIN");
    const double standard = advance(Fonts::font(12), word);
    const double condensed = advance(Fonts::font(12, QFont::Normal, Fonts::Face::ui, Fonts::Width::condensed), word);
    const double expanded = advance(Fonts::font(12, QFont::Normal, Fonts::Face::ui, Fonts::Width::expanded), word);
    EXPECT_LT(condensed, standard * 0.95);
    EXPECT_GT(expanded, standard * 1.05);

    // Tracking adds its pixels after every character.
    const double tracked = advance(Fonts::font(12, QFont::Normal, Fonts::Face::ui, Fonts::Width::standard, 2.5), word);
    EXPECT_NEAR(tracked - standard, 2.5 * word.size(), 1.0);

    // Inter's own digits differ in width; asked for equal digits, they match.
    const QFont plain = Fonts::font(20);
    EXPECT_GT(std::abs(advance(plain, QStringLiteral("1111")) - advance(plain, QStringLiteral("0000"))), 1);
    const QFont digits = Fonts::font(20, QFont::Normal, Fonts::Face::ui, Fonts::Width::standard, 0, true);
    EXPECT_DOUBLE_EQ(advance(digits, QStringLiteral("1111")), advance(digits, QStringLiteral("0000")));
    EXPECT_DOUBLE_EQ(advance(digits, QStringLiteral("13%")), advance(digits, QStringLiteral("88%")));
}

TEST(Fonts, FitScaleStaysBetweenTheMinimumAndOne)
{
    EXPECT_EQ(Fonts::fitScale(80, 100, 0.7), 1);
    EXPECT_EQ(Fonts::fitScale(100, 100, 0.7), 1);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, 85, 0.7), 0.85);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, 50, 0.7), 0.7);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, 0, 0.85), 0.85);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, -5, 0.85), 0.85);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, 50, 1), 1);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, 50, 0), 0.5);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(100, 50, std::nan("")), 1);
    EXPECT_DOUBLE_EQ(Fonts::fitScale(INFINITY, 50, 0.7), 0.7);
}

TEST(Fonts, ShrinksInWholePixelsThenElides)
{
    const QFont font = Fonts::mono(16, QFont::Medium);
    const QString text = QStringLiteral("1.23 GB/s");
    const double natural = advance(font, text);

    const Fonts::Fitted roomy = Fonts::shrinkToFit(text, font, natural + 1, 0.7);
    EXPECT_EQ(roomy.font, font);
    EXPECT_EQ(roomy.text, text);

    const Fonts::Fitted tight = Fonts::shrinkToFit(text, font, natural * 0.85, 0.7);
    EXPECT_EQ(tight.text, text);
    EXPECT_LT(tight.font.pixelSize(), 16);
    EXPECT_GE(tight.font.pixelSize(), 12);
    EXPECT_LE(tight.width, natural * 0.85);
    // The largest whole size that fits: one pixel more would not.
    QFont larger = tight.font;
    larger.setPixelSize(tight.font.pixelSize() + 1);
    EXPECT_GT(advance(larger, text), natural * 0.85);

    // Past the minimum scale it stops shrinking and cuts the text instead.
    const Fonts::Fitted cut = Fonts::shrinkToFit(text, font, natural * 0.4, 0.7, Qt::ElideMiddle);
    EXPECT_EQ(cut.font.pixelSize(), 12); // ceil(16 × 0.7)
    EXPECT_TRUE(cut.text.contains(QChar(0x2026))) << qPrintable(cut.text);
    EXPECT_LE(cut.width, natural * 0.4);
    // Tracking shrinks with the text.
    const QFont tracked = Fonts::font(16, QFont::Normal, Fonts::Face::ui, Fonts::Width::standard, 4);
    const Fonts::Fitted spaced = Fonts::shrinkToFit(text, tracked, advance(tracked, text) * 0.8, 0.5);
    EXPECT_NEAR(spaced.font.letterSpacing(), 4.0 * spaced.font.pixelSize() / 16, 1e-9);

    const Fonts::Fitted fixed = Fonts::shrinkToFit(text, font, natural * 0.9, 1);
    EXPECT_EQ(fixed.font.pixelSize(), 16);
    EXPECT_NE(fixed.text, text);
    EXPECT_TRUE(Fonts::shrinkToFit(text, font, 0, 0.7).text.isEmpty());
    EXPECT_TRUE(Fonts::shrinkToFit(QString(), font, 0, 0.7).text.isEmpty());
}

// Qt's elision may leave a dot or hyphen against the ellipsis, which reads
// as one dot more; the interface's cut never does, and never grows for it.
TEST(Fonts, ElidedTextLeavesNoDotBesideTheEllipsis)
{
    const QFontMetricsF metrics(Fonts::font(12));
    int leftByQt = 0;
    for (const QString& text : {QStringLiteral("photos.cloud.example.com"), QStringLiteral("app-store-cdn-edge")}) {
        for (Qt::TextElideMode mode : {Qt::ElideRight, Qt::ElideLeft, Qt::ElideMiddle}) {
            for (double width = 10; width < metrics.horizontalAdvance(text); width += 1) {
                const QString raw = metrics.elidedText(text, mode, width);
                const QString cut = Fonts::elided(metrics, text, mode, width);
                for (const char16_t* loose : {u".…", u"-…", u"….", u"…-"}) {
                    leftByQt += raw.contains(QStringView(loose)) ? 1 : 0;
                    EXPECT_FALSE(cut.contains(QStringView(loose))) << cut.toStdString();
                }
                EXPECT_LE(metrics.horizontalAdvance(cut), std::max(width, metrics.horizontalAdvance(raw)));
            }
        }
    }
    EXPECT_GT(leftByQt, 0);
    // A text that fits is left as it is, dots and all.
    EXPECT_EQ(Fonts::elided(metrics, QStringLiteral("wait.…"), Qt::ElideRight, 1000), QStringLiteral("wait.…"));
}

TEST(ShrinkLabel, FitsItsTextToItsWidth)
{
    ShrinkLabel label(QStringLiteral("Force quit"), Fonts::font(11, QFont::Medium), Qt::white, 0.85);
    const int natural = label.sizeHint().width();
    label.resize(natural, label.sizeHint().height());
    EXPECT_EQ(label.fitted().font.pixelSize(), 11);
    EXPECT_EQ(label.fitted().text, QStringLiteral("Force quit"));

    label.resize(int(natural * 0.95), label.height());
    EXPECT_EQ(label.fitted().font.pixelSize(), 10);
    EXPECT_EQ(label.fitted().text, QStringLiteral("Force quit"));

    label.resize(natural / 2, label.height());
    EXPECT_EQ(label.fitted().font.pixelSize(), 10); // ceil(11 × 0.85)
    EXPECT_TRUE(label.fitted().text.endsWith(QChar(0x2026)));

    label.setText(QStringLiteral("Quit"));
    EXPECT_EQ(label.fitted().text, QStringLiteral("Quit"));
    EXPECT_EQ(label.minimumSizeHint().width(), 0);
    EXPECT_FALSE(label.grab().isNull());
}

// Not a check: writes the design's type styles to the PNG named by
// TAVRIN_FONT_SHEET, for a person to look at.
TEST(Fonts, SheetForReview)
{
    const QByteArray target = qgetenv("TAVRIN_FONT_SHEET");
    if (target.isEmpty())
        GTEST_SKIP() << "set TAVRIN_FONT_SHEET=/tmp/fonts.png to write the sheet";
    using W = Fonts::Width;
    using F = Fonts::Face;
    struct Sample {
        QFont font;
        const char* text;
    };
    const Sample samples[] = {
        {Fonts::font(13, QFont::ExtraBold, F::ui, W::expanded, 4), "TAVRIN  heavy expanded, tracking 4"},
        {Fonts::font(11, QFont::ExtraBold, F::ui, W::expanded, 2.5), "TAVRIN  11 heavy expanded, tracking 2.5"},
        {Fonts::font(9.5, QFont::DemiBold, F::ui, W::condensed, 0.6), "PROCESS  CPU  MEMORY  9.5 semibold condensed 0.6"},
        {Fonts::font(10, QFont::DemiBold, F::ui, W::condensed, 1.2), "SECTION LABEL 进程 10 semibold condensed 1.2"},
        {Fonts::font(11, QFont::Medium), "Force quit  强制结束  11 medium"},
        {Fonts::font(12.5, QFont::Medium), "Alert rules  异常规则  12.5 medium"},
        {Fonts::font(11), "Usage by process group (Ctrl+1)  按进程组列出占用（Ctrl+1）"},
        {Fonts::mono(10), "12.4 MB/s  1:02.50  pid 4821  10 mono"},
        {Fonts::mono(15, QFont::Medium), "3.21 GB  15 mono medium"},
        {Fonts::font(50, QFont::Light, F::mono), "87%"},
        {Fonts::font(12, QFont::Normal, F::ui, W::standard, 0, true), "13%  100%  7%  monospaced digits"},
        {Fonts::font(12), "13%  100%  7%  proportional digits"},
    };
    QImage sheet(720, 0, QImage::Format_ARGB32_Premultiplied);
    int height = 12;
    for (const Sample& s : samples)
        height += int(QFontMetricsF(s.font).height()) + 10;
    sheet = QImage(720, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0x07, 0x09, 0x0B));
    QPainter painter(&sheet);
    double y = 8;
    for (const Sample& s : samples) {
        painter.setFont(s.font);
        painter.setPen(QColor(0xE9, 0xED, 0xF0));
        const QFontMetricsF m(s.font);
        painter.drawText(QPointF(10, y + m.ascent()), QString::fromUtf8(s.text));
        y += m.height() + 10;
    }
    painter.end();
    ASSERT_TRUE(sheet.save(QString::fromLocal8Bit(target)));
}
