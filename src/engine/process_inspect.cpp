#include "engine/process_inspect.h"

#include "core/l10n.h"
#include "platform/proc_files.h"

#include <QStringList>

namespace ProcessInspect {

std::vector<std::pair<QString, int64_t>> fdBreakdown(int32_t pid, const QString& root)
{
    const std::string dir = ProcFiles::normaliseRoot(root.toStdString()) + "/proc/" + std::to_string(pid) + "/fd/";
    int64_t files = 0, sockets = 0, pipes = 0, epoll = 0, other = 0, read = 0;
    for (const std::string& fd : ProcFiles::list(dir)) {
        const auto target = ProcFiles::readLink(dir + fd);
        if (!target)
            continue; // closed since the listing
        ++read;
        const std::string_view t = *target;
        if (t.starts_with("socket:["))
            ++sockets;
        else if (t.starts_with("pipe:["))
            ++pipes;
        else if (t == "anon_inode:[eventpoll]")
            ++epoll;
        else if (t.starts_with("/"))
            ++files;
        else
            ++other;
    }
    if (read == 0)
        return {};
    return {
        {L10n::text("Files", "文件"), files},
        {L10n::text("Sockets", "套接字"), sockets},
        {L10n::text("Pipes", "管道"), pipes},
        {QStringLiteral("epoll"), epoll},
        {L10n::text("Other", "其他"), other},
    };
}

std::vector<QByteArray> arguments(int32_t pid, const QString& root)
{
    const auto text = ProcFiles::read(ProcFiles::normaliseRoot(root.toStdString()) + "/proc/"
                                      + std::to_string(pid) + "/cmdline");
    if (!text || text->empty())
        return {};
    std::string_view rest = *text;
    // The vector ends with a NUL; a process that rewrote its title may end
    // in none, or pad the old argument area with many.
    while (!rest.empty() && rest.back() == '\0')
        rest.remove_suffix(1);
    if (rest.empty())
        return {};
    std::vector<QByteArray> args;
    for (;;) {
        const size_t nul = rest.find('\0');
        const std::string_view arg = rest.substr(0, nul);
        args.emplace_back(arg.data(), qsizetype(arg.size()));
        if (nul == std::string_view::npos)
            break;
        rest = rest.substr(nul + 1);
    }
    return args;
}

QString commandLine(const std::vector<QByteArray>& arguments)
{
    QStringList args;
    for (const QByteArray& arg : arguments)
        args << QString::fromUtf8(arg);
    return args.join(u' ');
}

QString commandLine(int32_t pid, const QString& root)
{
    return commandLine(arguments(pid, root));
}

QByteArray executable(int32_t pid, const QString& root)
{
    const auto link = ProcFiles::exeLink(ProcFiles::normaliseRoot(root.toStdString()) + "/proc/"
                                         + std::to_string(pid) + "/exe");
    return link ? QByteArray(link->data(), qsizetype(link->size())) : QByteArray();
}

} // namespace ProcessInspect
