// Files whose signals carry their own times: each curve pairs a signal with
// its own times and point count.
#include <gtest/gtest.h>

#include "golden.h"
#include "tagged_record_writer.h"

namespace {

TEST(SignalTimesGolden, EachCurveUsesItsOwnTimes) {
    testkit::ScratchDir dir;
    writers::TaggedRecordHeader header;
    header.signals = {{1, 1, "v(a)"}, {2, 8, "i(b)"}, {3, 1, "v(idle)"}};
    writers::TaggedRecordStream stream;
    writers::writeTaggedHeader(stream, header);
    stream.single(1, 1e-9f, {0.5f});
    stream.single(2, 1e-9f, {1.5f});
    stream.single(1, 1e-9f, {0.75f});
    stream.single(1, 0.0f, {1.0f});  // the same time again: no line
    stream.endSweep();
    writers::saveTaggedRecordFile((dir / "events.tr").string(), writers::frameTaggedRecord(stream));
    golden::expectRun(
        dir, {"events.tr"},
        golden::Expected{"Warning: values of i(b) are not VOLTAGE.\n",
                         "",
                         {{"events/wavtrex.curlist", "v(a)\ni(b)\nv(idle)\n"},
                          {"events/v(a).cur", golden::curve("v(a)", {"9.99999971718e-10 0.5",
                                                                     "2.99999980413e-09 0.75"})},
                          {"events/i(b).cur", golden::curve("i(b)", {"1.99999994344e-09 1.5"})},
                          {"events/v(idle).cur", golden::curve("v(idle)", {})}}});
}

}  // namespace
