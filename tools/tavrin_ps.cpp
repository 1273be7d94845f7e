// tavrin-ps: one line per process, "pid time rss", with the CPU time as
// minutes:seconds.hundredths and the resident size in KiB. Accepts (and
// ignores) "-axo pid=,time=,rss=" so that it reads like the process-status
// tool it stands in for.

#include "platform/ps_producer.h"

#include <cstdio>

int main()
{
    PsProducer producer;
    const std::string_view out = producer.poll();
    if (out.empty())
        return 1;
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
