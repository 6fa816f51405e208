#include "icmp/reply_status.h"

#include "platform/format.h"

std::string FormatReplyLine(const TReplyStatus& status)
{
    const bool measurable = status.RoundTripMs > 0;
    const std::string time = measurable ? Format("%u", status.RoundTripMs) : std::string();
    return Format("%d bytes from %s: icmp_seq=%d ttl=%d time%s%s ms", status.ByteCount, status.SourceAddress.c_str(),
                  status.SequenceNumber, status.Ttl, measurable ? "=" : "<1", time.c_str());
}
