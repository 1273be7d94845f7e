#include "core/incident.h"
#include "core/l10n.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

Incident sample()
{
    Incident i;
    i.kind = Incident::Kind::processCPU;
    i.severity = Severity::warn;
    i.subject = "node";
    i.peakText = "180%";
    i.peak = 180.5;
    i.start = Date{786000000.25};
    return i;
}

QJsonObject parse(const char* text)
{
    return QJsonDocument::fromJson(text).object();
}

} // namespace

TEST(Incident, OpenUntilItHasAnEnd)
{
    Incident i = sample();
    EXPECT_TRUE(i.isOpen());
    i.end = Date{0};
    EXPECT_FALSE(i.isOpen());
}

TEST(Incident, TitlesByKindAndPressureSeverity)
{
    L10n::setChinese(false);
    Incident i = sample();
    i.kind = Incident::Kind::memoryPressure;
    EXPECT_EQ(i.title(), "Memory pressure elevated");
    i.severity = Severity::critical;
    EXPECT_EQ(i.title(), "Critical memory pressure");
    i.kind = Incident::Kind::processBurst;
    EXPECT_EQ(i.title(), "Process count surging");
    i.kind = Incident::Kind::fdGrowth;
    i.severity = Severity::warn;
    EXPECT_EQ(i.title(), "File handles growing fast");
    L10n::setChinese(true);
    EXPECT_EQ(i.title(), QString::fromUtf8("文件句柄快速增长"));
    i.kind = Incident::Kind::memoryPressure;
    i.severity = Severity::critical;
    EXPECT_EQ(i.title(), QString::fromUtf8("内存压力危急"));
    L10n::setChinese(false);
}

TEST(Incident, KindTextsRoundTrip)
{
    for (Incident::Kind k : Incident::allKinds)
        EXPECT_EQ(Incident::kindFromText(Incident::kindText(k)), k);
    EXPECT_EQ(Incident::kindText(Incident::Kind::systemCPU), "systemCPU");
    EXPECT_EQ(Incident::kindFromText("cpu"), std::nullopt);
    EXPECT_TRUE(Severity::warn < Severity::critical);
}

TEST(Incident, EncodesOptionalsOnlyWhenPresent)
{
    Incident i = sample();
    QJsonObject o = i.toJson();
    EXPECT_FALSE(o.contains("pid"));
    EXPECT_FALSE(o.contains("end"));
    EXPECT_FALSE(o.contains("groupKey"));
    EXPECT_EQ(o.value("severity").toInt(), 1);
    EXPECT_EQ(o.value("kind").toString(), "processCPU");
    EXPECT_EQ(o.value("start").toDouble(), 786000000.25);
    const QString id = o.value("id").toString();
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(id.size(), 36);
    EXPECT_EQ(Incident::fromJson(o), i);

    i.pid = 42;
    i.groupKey = "exe:node";
    i.end = Date{786000100};
    i.contributors = QStringList{"a", "b"};
    i.severity = Severity::critical;
    // Through text, as the store holds it.
    const QByteArray text = QJsonDocument(i.toJson()).toJson();
    EXPECT_EQ(Incident::fromJson(QJsonDocument::fromJson(text).object()), i);
}

TEST(Incident, NonFiniteFiguresStillEncodeDecodably)
{
    Incident i = sample();
    i.peak = std::numeric_limits<double>::infinity();
    auto back = Incident::fromJson(QJsonDocument::fromJson(QJsonDocument(i.toJson()).toJson()).object());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->peak, 0);
}

TEST(Incident, DecodingIsStrict)
{
    const char* good = R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","kind":"memory","severity":2,
        "subject":"x","groupKey":null,"pid":null,"peakText":"9G","peak":9,"contributors":[],"start":1})";
    auto ok = Incident::fromJson(parse(good));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->severity, Severity::critical);
    EXPECT_FALSE(ok->pid);
    EXPECT_FALSE(ok->groupKey);
    EXPECT_TRUE(ok->isOpen());

    auto with = [&](const char* key, QJsonValue v) {
        QJsonObject o = parse(good);
        if (v.isUndefined())
            o.remove(key);
        else
            o.insert(key, v);
        return Incident::fromJson(o);
    };
    EXPECT_FALSE(with("kind", "cpu"));
    EXPECT_FALSE(with("severity", 3));
    EXPECT_FALSE(with("severity", 0));
    EXPECT_FALSE(with("severity", 1.5));
    EXPECT_FALSE(with("severity", "1"));
    EXPECT_FALSE(with("subject", QJsonValue::Undefined));
    EXPECT_FALSE(with("subject", QJsonValue::Null));
    EXPECT_FALSE(with("contributors", QJsonValue::Undefined));
    EXPECT_FALSE(with("contributors", QJsonArray{1}));
    EXPECT_FALSE(with("peak", "9"));
    EXPECT_FALSE(with("start", QJsonValue::Undefined));
    EXPECT_FALSE(with("id", "not-a-uuid"));
    EXPECT_FALSE(with("pid", 1.5));
    EXPECT_FALSE(with("pid", 4294967296.0));
    EXPECT_FALSE(with("end", "later"));
    EXPECT_TRUE(with("pid", 7.0));
    EXPECT_TRUE(with("extra", 1));
    EXPECT_FALSE(Incident::fromJson(QJsonValue(3)));
    EXPECT_FALSE(Incident::fromJson(QJsonArray{}));
}
