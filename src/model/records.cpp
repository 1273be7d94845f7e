#include "model/records.h"

void GroupSample::add(const ProcSample& p)
{
    members.push_back(p);
    cpu += p.cpu;
    mem += p.mem;
    threads += p.threads;
    fds += p.fds;
    netIn += p.netIn;
    netOut += p.netOut;
    diskRead += p.diskRead;
    diskWrite += p.diskWrite;
}

QString Listener::id() const
{
    return QString::number(pid) + u'.' + proto + u'.' + QString::number(port);
}
