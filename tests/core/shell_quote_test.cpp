// Paths quoted for a shell: untouched without control characters, and with
// them read back by bash as exactly the path.

#include "core/shell_quote.h"

#include "../shell_read_back.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

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

// A command line copied from another user's process, pasted into a shell,
// gives back its argument vector byte for byte and runs nothing of its
// own: neither a substitution nor a second command, in dash as in bash
// (and zsh, where it is installed).
// Nothing in the copy is a control character a terminal could act on.
TEST(ShellQuote, ACopiedCommandLineReadsBackAsExactlyItsArguments)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray pwned = QFile::encodeName(dir.filePath(QStringLiteral("PWNED")));
    std::vector<QByteArray> args = {"/usr/lib/backup/verify", "--quiet"};
    for (int i = 0; i < 40; ++i)
        args.push_back("--exclude=/srv/cache/" + QByteArray::number(i));
    args.insert(args.end(),
                {"$(touch " + pwned + ")", ";touch", pwned + "2", "`touch " + pwned + "3`", "a;b", "it's",
                 "\"double\" \\back", "two words", "line\nbreak\n", "\n", "", "tab\there", "esc\x1b[31mred",
                 "caf\xc3\xa9 \xe5\x90\x8d" "", "latin1 caf\xe9", "\xff\xfe", "bad \xed\xa0\x80 surrogate",
                 "\xe2\x80\xae" "evil \xe2\x80\xa8" "sep", "$HOME ~ * ? [a] {x,y} #c &", "!", "%1", "-", "=",
                 "x=y", "=ls", "=", "plain-word_1.2,3:4@5+6%7/"});
    const QString copy = shellCommand(args);
    for (QChar c : copy) {
        const char16_t u = c.unicode();
        EXPECT_TRUE(u == u'\n' || !(u < 0x20 || (u >= 0x7f && u < 0xa0) || (u >= 0x2028 && u <= 0x202e)))
            << int(u);
    }
    QStringList shells{QStringLiteral("/bin/sh"), QStringLiteral("bash")};
    if (const QString zsh = QStandardPaths::findExecutable(QStringLiteral("zsh")); !zsh.isEmpty())
        shells << zsh;
    for (const QString& shell : std::as_const(shells)) {
        EXPECT_EQ(shellReadBack(shell, copy), args) << shell.toStdString() << ": " << copy.toStdString();
        for (const char* made : {"PWNED", "PWNED2", "PWNED3"})
            EXPECT_FALSE(QFile::exists(dir.filePath(QString::fromLatin1(made)))) << made;
    }

    // Plain words stand as they are; the first word is quoted where a shell
    // would take it for an assignment or a keyword.
    EXPECT_EQ(shellCommand({"/usr/bin/env", "--quiet", "a=b"}), QStringLiteral("/usr/bin/env --quiet a=b"));
    // zsh would take "=ls" for the path of ls, in any place.
    EXPECT_EQ(shellCommand({"/bin/echo", "=ls", "a=ls"}), QStringLiteral("/bin/echo '=ls' a=ls"));
    EXPECT_EQ(shellCommand({"A=b", "x"}), QStringLiteral("'A=b' x"));
    EXPECT_EQ(shellCommand({"if", "time"}), QStringLiteral("'if' time"));
    EXPECT_EQ(shellCommand({"it's"}), QStringLiteral("'it'\\''s'"));
    EXPECT_EQ(shellCommand({"a\x1b" "b"}), QStringLiteral("'a'\"$(printf '\\033')\"'b'"));
}
