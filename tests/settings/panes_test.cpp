#include "app/view_fixture.h"
#include "platform/file_manager.h"
#include "settings/about_pane.h"
#include "settings/diagnostics.h"
#include "settings/feedback_pane.h"
#include "engine/incident_store.h"
#include "ui/card.h"
#include "ui/filled_button.h"
#include "ui/hairline.h"
#include "ui/theme.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <memory>

namespace {

class PaneTest : public ViewTest {};

} // namespace

TEST_F(PaneTest, FeedbackPreviewCopyAndChannels)
{
    auto m = make();
    // The preview is the report as plain text, whatever it holds. The report
    // states ages on the wall clock, so it is compared only when a report
    // taken just before the pane and one just after agree.
    std::unique_ptr<FeedbackPane> built;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString before = Diagnostics::report(*m, Diagnostics::currentUpdate());
        auto candidate = std::make_unique<FeedbackPane>(*m);
        if (Diagnostics::report(*m, Diagnostics::currentUpdate()) != before)
            continue;
        EXPECT_EQ(candidate->preview()->toPlainText(), before);
        built = std::move(candidate);
        break;
    }
    ASSERT_TRUE(built);
    FeedbackPane& pane = *built;
    showOffscreen(pane, {560, 700});
    EXPECT_FALSE(pane.preview()->acceptRichText());
    // Every line of the report sits 3 px below the one above it, and the
    // preview is tall enough for all of them.
    const QTextDocument* doc = pane.preview()->document();
    ASSERT_GE(doc->blockCount(), 11);
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        EXPECT_EQ(b.blockFormat().lineHeightType(), int(QTextBlockFormat::LineDistanceHeight));
        EXPECT_EQ(b.blockFormat().lineHeight(), FeedbackPane::previewLineSpacing);
    }
    EXPECT_GE(pane.preview()->height(), int(doc->size().height()));

    // The preview follows the updater while the pane is open.
    Diagnostics::UpdateStatus status;
    status.state = QStringLiteral("checking");
    Diagnostics::setUpdateSource([&] { return status; });
    runPending();
    EXPECT_TRUE(pane.preview()->toPlainText().contains("\nupdate: checking · never checked"));
    status.state = QStringLiteral("upToDate");
    emit Diagnostics::updateNotifier().changed();
    runPending();
    EXPECT_TRUE(pane.preview()->toPlainText().contains("\nupdate: upToDate · never checked"));
    Diagnostics::setUpdateSource({});

    pane.copyButton()->click();
    EXPECT_TRUE(pane.copied());
    EXPECT_EQ(pane.copyButton()->text(), "Copied");
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("```\nTavrin "));
    EXPECT_TRUE(copied.endsWith("\n```"));
    advance(1.0);
    pane.copyButton()->click(); // a second press does not extend the first
    advance(0.61);
    EXPECT_FALSE(pane.copied());
    EXPECT_EQ(pane.copyButton()->text(), "Copy diagnostics");

    // This build ships without channels: the card says so, with no rows
    // and no separators.
    EXPECT_TRUE(pane.channelRows().isEmpty());
    EXPECT_TRUE(pane.channelCard()->findChildren<Hairline*>().isEmpty());
    bool said = false;
    for (QLabel* label : pane.channelCard()->findChildren<QLabel*>())
        said = said || label->text() == "No contact channels are configured in this build.";
    EXPECT_TRUE(said);

    // Injected channels: one row each, a hairline between neighbours only,
    // and no word of the empty build.
    const Contact three = Contact::decode(R"({"telegram":"@tavrin","email":"a@b.org","x":"","github":"tavrin"})");
    const Contact one = Contact::decode(R"({"telegram":"","email":"","x":"@tav","github":""})");
    for (const Contact* contact : {&one, &three}) {
        const auto channels = contact->channels(QStringLiteral("1.0"));
        FeedbackPane withChannels(*m, nullptr, [&] { return channels; });
        const QList<QWidget*> rows = withChannels.channelRows();
        ASSERT_EQ(rows.size(), qsizetype(channels.size()));
        EXPECT_EQ(withChannels.channelCard()->findChildren<Hairline*>().size(), rows.size() - 1);
        for (qsizetype i = 0; i < rows.size(); ++i)
            EXPECT_TRUE(rows[i]->toolTip().contains(channels[std::size_t(i)].url.toDisplayString()));
        EXPECT_TRUE(withChannels.channelCard()->findChildren<QLabel*>().isEmpty());
    }
}

TEST_F(PaneTest, AboutFiguresLogAndWelcome)
{
    EXPECT_EQ(AboutPane::ownCPU(99.96), "100.0%");
    EXPECT_EQ(AboutPane::ownCPU(123), "123%");

    auto m = make();
    const auto dev = AboutPane::overview(*m, std::nullopt, std::nullopt);
    EXPECT_EQ(dev.version, "Dev build");
    EXPECT_EQ(dev.build, "—");
    EXPECT_EQ(dev.incidents, "0");
    EXPECT_EQ(AboutPane::overview(*m, std::nullopt, QStringLiteral("57")).build, "57");
    L10n::setChinese(true);
    EXPECT_EQ(AboutPane::overview(*m, std::nullopt, std::nullopt).version, "开发构建");
    const auto sources = AboutPane::sources();
    for (const auto& [what, source] : sources) {
        EXPECT_FALSE(source.contains("IOKit") || source.contains("libproc") || source.contains("nettop"));
        EXPECT_FALSE(what.isEmpty());
    }
    L10n::setChinese(false);

    int raised = 0;
    AboutPane pane(*m, {}, [&] { ++raised; });
    QStringList revealed;
    ScopedReveal reveal([&](const QString& path) { revealed << path; });
    pane.revealLog();
    EXPECT_EQ(revealed, QStringList{IncidentStore::defaultPath()});

    m->finishWelcome();
    ASSERT_FALSE(m->welcome());
    pane.showWelcome();
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(m->welcome());
}

// The software-update card is framed like the cards around it: the panel
// fill, a one-pixel line border with rounded corners, and its rows and
// hairlines inset 14 px inside the frame. In both languages.
TEST_F(PaneTest, AboutFramesTheUpdateCardLikeItsNeighbours)
{
    auto m = make();
    for (const bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        QWidget* content = nullptr;
        Hairline* hairline = nullptr;
        AboutPane pane(*m, [&](QWidget* parent) {
            // Rows as the update card builds them: a 14 px inset, then a
            // hairline, then another row.
            content = new QWidget(parent);
            auto* rows = new QVBoxLayout(content);
            rows->setContentsMargins(0, 0, 0, 0);
            rows->setSpacing(0);
            auto* first = new QWidget(content);
            first->setFixedHeight(40);
            rows->addWidget(first);
            hairline = new Hairline(content);
            rows->addWidget(hairline);
            auto* second = new QWidget(content);
            second->setFixedHeight(40);
            rows->addWidget(second);
            return content;
        });
        QPalette ground = pane.palette();
        ground.setColor(QPalette::Window, Theme::bg());
        pane.setPalette(ground);
        pane.setAutoFillBackground(true);
        showOffscreen(pane, {560, 900});
        ASSERT_TRUE(content && hairline);

        // The frame is as wide as the overview card above it.
        QRect frame = content->geometry();
        for (QWidget* w = content->parentWidget(); w && w != &pane; w = w->parentWidget())
            frame.translate(w->pos());
        const QList<Card*> cards = pane.findChildren<Card*>(Qt::FindDirectChildrenOnly);
        ASSERT_FALSE(cards.isEmpty());
        const QRect overview = cards.front()->geometry();
        QRect around;
        for (Card* c : cards)
            if (c->geometry().contains(frame.center()))
                around = c->geometry();
        ASSERT_FALSE(around.isNull()) << "the update card has no frame";
        EXPECT_EQ(around.left(), overview.left());
        EXPECT_EQ(around.right(), overview.right());
        // The card's rows fill the frame: their own 14 px inset is the inset.
        EXPECT_EQ(frame, around);

        const QImage shot = pane.grab().toImage();
        const int mid = around.top() + 20;
        EXPECT_EQ(shot.pixelColor(around.left(), mid), Theme::line());
        EXPECT_EQ(shot.pixelColor(around.right(), mid), Theme::line());
        EXPECT_EQ(shot.pixelColor(around.left() + 5, mid), Theme::panel());
        EXPECT_EQ(shot.pixelColor(around.center().x(), around.bottom() - 5), Theme::panel());
        EXPECT_EQ(shot.pixelColor(around.center().x(), around.top()), Theme::line());
        EXPECT_EQ(shot.pixelColor(around.center().x(), around.bottom()), Theme::line());
        // Rounded corners: the page shows at the very corner.
        EXPECT_EQ(shot.pixelColor(around.topLeft()), Theme::bg());
        EXPECT_EQ(shot.pixelColor(around.bottomRight()), Theme::bg());
        // The hairline starts 14 px in and runs to the frame's edge.
        const int line = around.top() + 40;
        EXPECT_EQ(shot.pixelColor(around.left() + 7, line), Theme::panel());
        EXPECT_EQ(shot.pixelColor(around.left() + Hairline::indent, line), Theme::line());
        EXPECT_EQ(shot.pixelColor(around.right() - 3, line), Theme::line());
    }
    L10n::setChinese(false);
}
