// Framed event and tagged record files through the built binary: every
// signal's curve is written against its own times and point count.
#include <gtest/gtest.h>

#include "framed_event_writer.h"
#include "golden.h"
#include "tagged_record_writer.h"

namespace {

using golden::Expected;

// Grouped v(a) and v(b), and "3:out" addressed by identifier 7. The last group
// repeats the time before it, so it adds no line.
std::string framedFile() {
    writers::FramedEventHeader header;
    header.title = "golden events";
    header.signals = {{true, 0, 0, "v(a)"}, {true, 0, 0, "v(b)"}, {false, 7, 3, "out"}};
    writers::FramedEventStream stream(writers::FramedByteOrder::kBig);
    writers::writeFramedEventHeader(stream, header);
    stream.group({0.0f, 1.2f}, 0.0f);
    stream.single(7, 2.5f, 0.5f);
    stream.group({0.5f, 1.25f}, 1.0f);
    stream.group({0.5f, 1.5f}, 1.0f);
    stream.single(7, -2.0f, 1e-9f);
    stream.end();
    return writers::frameFramedEvent(stream, 40);
}

// Two sweeps over temp; i(y) has one point in the first sweep and two in the
// second.
std::string taggedSweepFile() {
    writers::TaggedRecordHeader header;
    header.sweepCount = 2;
    header.sweepParameters = {"temp"};
    header.signals = {{1, 1, "v(x)"}, {2, 8, "i(y)"}};
    writers::TaggedRecordStream stream;
    writers::writeTaggedHeader(stream, header);
    stream.sweepParameters({25.0f}).absoluteTime(0.0);
    stream.groupAll(2, 0.0f, {1.0f, 2.0f}).single(1, 0.5f, {1.5f}).endSweep();
    stream.sweepParameters({50.0f}).absoluteTime(0.0);
    stream.groupAll(2, 0.0f, {3.0f, 4.0f})
        .single(1, 0.5f, {3.5f})
        .single(2, 0.5f, {4.5f})
        .endSweep();
    return writers::frameTaggedRecord(stream, 32);
}

TEST(EventGolden, FramedEventFile) {
    const std::string list = "v(a)\nv(b)\n3:out\n";
    {
        testkit::ScratchDir dir;
        writers::saveFramedEventFile((dir / "events.fev").string(), framedFile());
        golden::expectRun(
            dir, {"events.fev"},
            Expected{"",
                     "",
                     {{"events/wavtrex.curlist", list},
                      {"events/v(a).cur",
                       "*******Voltage*********\n"
                       "\n"
                       "*[Dim=Voltage]\n"
                       "**************Curve***************\n"
                       "n1     n2     blue     v(a).\n"
                       "0 0\n"
                       "1 0.5\n"
                       "**************End***************\n"},
                      {"events/v(b).cur", golden::curve("v(b)", {"0 1.20000004768", "1 1.25"})},
                      {"events/3:out.cur",
                       golden::curve("3:out", {"0.5 2.5", "9.99999971718e-10 -2"})}}},
            "convert all");
    }
    {
        testkit::ScratchDir dir;
        writers::saveFramedEventFile((dir / "events.fev.gz").string(), framedFile(), true);
        golden::expectRun(dir, {"-t", "events.fev.gz"},
                          Expected{"", "", {{"events.fev/wavtrex.curlist", list}}}, "list only");
    }
}

TEST(EventGolden, TaggedRecordFile) {
    const std::string warning = "Warning: values of i(y) are not VOLTAGE.\n";
    {
        testkit::ScratchDir dir;
        writers::saveTaggedRecordFile((dir / "sweeps.tr").string(), taggedSweepFile());
        // Point by point, and within a point sweep by sweep, each sweep only
        // while it has points.
        golden::expectRun(
            dir, {"sweeps.tr"},
            Expected{
                warning,
                "",
                {{"sweeps/wavtrex.curlist", "v(x)\ni(y)\n"},
                 {"sweeps/v(x).cur", golden::curve("v(x)", {"0 1", "0 3", "0.5 1.5", "0.5 3.5"})},
                 {"sweeps/i(y).cur", golden::curve("i(y)", {"0 2", "0 4", "1 4.5"})}}},
            "convert all");
    }
    {
        testkit::ScratchDir dir;
        writers::saveTaggedRecordFile((dir / "sweeps.tr").string(), taggedSweepFile());
        golden::expectRun(dir, {"-t", "sweeps.tr"},
                          Expected{"", "", {{"sweeps/wavtrex.curlist", "v(x)\ni(y)\n"}}},
                          "list only");
    }
    {
        // An AC file: the real parts of a complex signal are written.
        writers::TaggedRecordHeader header;
        header.axisType = 2;
        header.axisName = "HERTZ";
        header.signals = {{0, 1, "v(c)"}};
        writers::TaggedRecordStream stream(writers::TaggedByteOrder::kBig);
        writers::writeTaggedHeader(stream, header);
        stream.single(0, 1000.0f, {0.5f, -0.5f}).single(0, 1000.0f, {0.25f, 1.0f}).endSweep();
        testkit::ScratchDir dir;
        writers::saveTaggedRecordFile((dir / "ac.tr.gz").string(),
                                      writers::frameTaggedRecord(stream), true);
        golden::expectRun(
            dir, {"ac.tr.gz"},
            Expected{"Warning: independent variable of hertz is not TIME.\n",
                     "",
                     {{"ac.tr/wavtrex.curlist", "v(c)\n"},
                      {"ac.tr/v(c).cur", golden::curve("v(c)", {"1000 0.5", "2000 0.25"})}}},
            "ac");
    }
}

}  // namespace
