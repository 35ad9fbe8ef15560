#include "framed_event_writer.h"

namespace writers {

void writeFramedEventHeader(FramedEventStream& s, const FramedEventHeader& h) {
    auto grouped = std::count_if(h.signals.begin(), h.signals.end(),
                                 [](const FramedEventSignal& signal) { return signal.grouped; });
    s.fixed("framed event", 16).fixed("06-Dec-2026", 16).fixed(h.title, 100);
    s.int32(h.declaredSignalCount.value_or(static_cast<int32_t>(h.signals.size())));
    s.int32(h.declaredGroupCount.value_or(static_cast<int32_t>(grouped)));
    s.int32(static_cast<int32_t>(h.extras.size()));
    for (const auto& extra : h.extras) s.int32(0).counted(extra);
    for (const auto& signal : h.signals) {
        s.uint32(signal.grouped ? kFramedGroup | signal.identifier : signal.identifier);
        s.int32(signal.prefix).counted(signal.name);
    }
}

}  // namespace writers
