// Paths quoted for a shell: untouched without control characters, and with
// them read back by bash as exactly the path.

#include "core/shell_quote.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

// What bash makes of `word` as one argument.
QString bashReads(const QString& word)
{
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("printf %s ") + word});
    if (!bash.waitForFinished(10000))
        return QStringLiteral("<no bash>");
    return QString::fromUtf8(bash.readAllStandardOutput());
}

} // namespace

TEST(ShellQuote, PlainPathsStayAsTheyAre)
{
    for (const QString& path : {QStringLiteral("/usr/bin/firefox"), QStringLiteral("/opt/My App/it's \\ \"x\""),
                               QStringLiteral("/tmp/名字 \u202Eexe"), QString()})
        EXPECT_EQ(shellQuoted(path), path);
}

TEST(ShellQuote, ControlCharactersAreEscapedSoTheShellReadsOneWord)
{
    const QString newline = QStringLiteral("/tmp/a\ntouch /tmp/owned");
    EXPECT_EQ(shellQuoted(newline), QStringLiteral("$'/tmp/a\\ntouch /tmp/owned'"));
    EXPECT_EQ(shellQuoted(QStringLiteral("a\tb'c\\d\x01" "e\x7f")), QStringLiteral("$'a\\tb\\'c\\\\d\\x01e\\x7f'"));
    EXPECT_EQ(shellQuoted(QStringLiteral("x\u0085y")), QStringLiteral("$'x\\xc2\\x85y'"));

    for (const QString& path : {newline, QStringLiteral("/tmp/it's\r\\n $(rm -rf ~)\x1b[31m;`id`\x02" "ff"),
                               QStringLiteral("/tmp/名字\n\u0085é")})
        EXPECT_EQ(bashReads(shellQuoted(path)), path) << shellQuoted(path).toStdString();
}
