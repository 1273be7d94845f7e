// Paths quoted for a shell: untouched without control characters, and with
// them read back by bash as exactly the path.

#include "core/shell_quote.h"

#include <QProcess>

#include <gtest/gtest.h>

TEST(ShellQuote, OnlyPathsWithControlCharactersAreQuotedAndBashReadsThemBack)
{
    for (const QString& path : {QStringLiteral("/opt/My App/it's \\ \"x\""), QStringLiteral("/tmp/名字 \u202Eexe")})
        EXPECT_EQ(shellQuoted(path), path);
    EXPECT_EQ(shellQuoted(QStringLiteral("a\tb'c\\d\x01" "e\x7f\u0085")),
              QStringLiteral("$'a\\tb\\'c\\\\d\\x01e\\x7f\\xc2\\x85'"));

    for (const QString& path : {QStringLiteral("/tmp/a\ntouch /tmp/owned"),
                                QStringLiteral("/tmp/it's\r\\n $(id)\x1b[31m;`id`\x02" "ff名\u0085é")}) {
        QProcess bash;
        bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("printf %s ") + shellQuoted(path)});
        ASSERT_TRUE(bash.waitForFinished(60000));
        EXPECT_EQ(QString::fromUtf8(bash.readAllStandardOutput()), path) << shellQuoted(path).toStdString();
    }
}
