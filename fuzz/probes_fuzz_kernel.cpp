// Every parser of kernel text on arbitrary bytes.

#include "platform/desktop_entries.h"
#include "platform/proc_parse.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace ProcParse;
    (void)pidStat(text);
    (void)stat(text);
    (void)kbField(text, "RssAnon");
    (void)numberField(text, "read_bytes");
    (void)textField(text, "model name");
    (void)io(text);
    (void)statm(text);
    (void)netDev(text);
    (void)pressure(text);
    (void)blockStat(text);
    (void)cpuList(text);
    (void)firstNumber(text);
    (void)firstDouble(text);
    (void)DesktopEntries::parse(QByteArray(text.data(), qsizetype(text.size())));
    (void)DesktopEntries::programOf(QString::fromUtf8(text.data(), qsizetype(text.size())));
    return 0;
}
