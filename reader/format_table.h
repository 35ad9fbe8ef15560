// The dispatch table (format_table.cpp): one row per data format code,
// holding every fact that differs between formats, and the contract between
// the core and the format readers.
#ifndef WAVTREX_READER_FORMAT_TABLE_H
#define WAVTREX_READER_FORMAT_TABLE_H

#include <zlib.h>

#include <cstdint>
#include <type_traits>

#include "wfx.h"

struct FormatEntry;

// Reads the header into the dataset; 1, or 0 after reporting the failure.
using HeaderReader = int (*)(WaveformDataset*, const FormatEntry&);
// Reads every value into the holders; 1, or 0 after reporting the failure.
using DataReader = int (*)(WaveformDataset*, WaveformValues*, const FormatEntry&);
// Reads every value into double holders, as DataReader does into floats.
using DataReader64 = int (*)(WaveformDataset*, WaveformValues64*, const FormatEntry&);
// The value type of a holder set: float for WaveformValues, double for
// WaveformValues64; data readers serving both are templates over the set.
template <typename Values>
using ValueOf = std::remove_pointer_t<std::remove_pointer_t<decltype(Values::sweepValues)>>;
// Releases what the format's header reader left in the dataset.
using FormatRelease = void (*)(WaveformDataset*);
// Makes a plot of the file the one read (wfxSelectPlot); 1, or 0 after reporting.
using PlotSelector = int (*)(WaveformDataset*, int32_t plot);
// Bits a binary file of the format stores per value (which: 0 values, 1 axis).
using StoredBits = int (*)(const WaveformDataset*, int which);

// The first bytes of a file (up to 256) as detection sees them; text ends at
// the first NUL, as keyword searches do.
struct Sniffed {
    const unsigned char* bytes;
    int count;
    const char* text;
    gzFile stream;  // at the file's start, for a detector that must look further: it
                    // leaves it there
};

// True when the first bytes show the row's format (detection.cpp).
using Detector = bool (*)(const FormatEntry&, const Sniffed&);

// How open settles the file mode when the caller asks for detection.
enum class ModeRule : uint8_t {
    kText,
    kBinary,
    kFirstBytes,  // binary when the first 4 bytes show framing, else text
};

// Whether open gives the dataset blockBuffer and savedBlock.
enum class BlockUse : uint8_t { kNone, kWhenBinary, kAlways };

// The shape of the independent-variable and point-count holders.
enum class ValueShape : uint8_t {
    kSharedAxis,     // one entry, shared by every signal
    kAxisPerSignal,  // entry i for signal i: every signal has its own times
};

// What differs between the versions of the HSPICE post file.
struct PostTraits {
    const char* version;  // the version text of the header
    // Count fields of 4 characters before the version: main, probes, sweep
    // names, the main count's high part, and (5) the probe count's high part.
    int countFields;
    int nameWidth;   // fixed width of a name field; 0 when names are words
    int valueBytes;  // binary bytes of a signal value
    int axisBytes;   // binary bytes of an independent value
    int textWidth;   // characters of a value in the text form
};

// One row per known data format code: everything the core knows about it.
// A row without a header reader is a recognised format that has no reader.
struct FormatEntry {
    uint32_t code;
    const char* name;             // the name users see (wfxFormatName)
    Detector detect;              // NULL: only opened when the caller names the code
    const char* const* keywords;  // what the detector looks for, NULL-ended; or NULL
    ModeRule mode;
    BlockUse blocks;
    uint8_t framingValue;  // marker value of its blocks, 0 when it has none
    ValueShape shape;
    bool imaginaryParts;     // an AC read gets the imaginary-part holder
    bool streamable;         // a one-table file can be read a piece at a time
    const PostTraits* post;  // HSPICE post versions only
    HeaderReader header;
    DataReader data;
    FormatRelease release;  // NULL when the format leaves nothing in the dataset
    // Beyond the converter's formats: detected only when open is given
    // WFX_DETECT_ALL, and then before every other row.
    bool extended = false;
    // Reads values as stored where they hold more than a float; NULL when the
    // format stores floats, which wfxReadSignals64 then widens.
    DataReader64 data64 = nullptr;
    // What a binary file stores per value, when the row alone tells: 32 or 64
    // bits for its values and independent values (text counts 64 whenever
    // the row has data64). 0 asks storedBits of the file.
    uint8_t valueBits = 32;
    uint8_t axisBits = 32;
    StoredBits storedBits = nullptr;
    PlotSelector selectPlot = nullptr;  // NULL for a format without plots
};

// The row of a data format code, or NULL for a code without one.
const FormatEntry* findFormat(uint32_t code);

// Every row, in detection order: the first row whose detector holds decides.
const FormatEntry* formatRows(int* count);

// A streamed read in progress (wfxStreamSignals): the data reader hands its
// rows to sink a piece at a time instead of keeping them.
struct RowStream {
    WfxRowSink sink;
    void* context;
    uint32_t rowsPerPiece;
    bool stopped = false;  // the sink ended the read
};

#endif  // WAVTREX_READER_FORMAT_TABLE_H
