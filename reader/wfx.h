/* wavtrex waveform reader: public, C-compatible interface.
 *
 * One waveform file is opened into a WaveformDataset (open), its sample values
 * are returned all at once in caller-owned arrays (read), and the dataset is
 * released (close). The format is recognised from the first 256 bytes; every
 * file is read through a zlib gzip stream, so compressed and plain files are
 * read alike.
 *
 * The library's working state (the last-error text, the token buffer, the
 * block scratch area) is kept per thread: two threads may read two datasets at
 * once, but one dataset is worked on by one thread at a time.
 */
#ifndef WAVTREX_READER_WFX_H
#define WAVTREX_READER_WFX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct gzFile_s;

/* Marks the public functions: the shared library exports these and nothing
 * else (it is built with hidden visibility). */
#if defined(__GNUC__) && !defined(_WIN32)
#define WFX_API __attribute__((visibility("default")))
#else
#define WFX_API
#endif

/* DataFormat: the dataFormat field. */
enum DataFormat {
    kFormatPost9007 = 0,      /* HSPICE post file, version "9007" */
    kFormatPropertyStore = 1, /* "QVKversion" property store: no reader */
    kFormatCsdf = 2,          /* CSDF text file */
    kFormatMeasureTable = 4,  /* HSPICE measurement table, only when named by the caller */
    kFormatBinaryOther = 5,   /* never detected; binary, no reader */
    kFormatEndText = 8,       /* text holding "$end", "End" or "END": no reader */
    kFormatPost9601 = 9,      /* HSPICE post file, version "9601" */
    kFormatRadixText = 10,    /* text holding "radix": no reader */
    kFormatFramedEvent = 11,  /* binary, framed by 32-bit markers of value 5 */
    kFormatFramed7 = 12,      /* binary, framed by markers of value 7: no reader */
    kFormatTaggedRecord = 13, /* binary, first or fourth byte 9 */
    kFormatPost2001 = 14,     /* HSPICE post file, version "2001" */
    kFormatPost2013 = 15,     /* HSPICE post file, version "2013" */
    /* Reached only by WFX_DETECT_ALL or by naming the code: */
    kFormatSpiceRaw = 16,   /* SPICE raw file (ngspice, LTspice, Xyce, QSPICE), binary or ASCII */
    kFormatCsdfDialect = 17 /* CSDF as Xyce and PSpice write it: value:index pairs */
};
/* Passed to open: detect the data format among codes 0 to 15, as the
 * converter does; SPICE raw files and the Xyce/PSpice CSDF dialect are then
 * not recognised (the dialect goes to the CSDF reader, which refuses it). */
#define WFX_DETECT_FORMAT 0xFFFFFFFFu
/* Passed to open: detect the data format among every code. Raw files are
 * recognised by their first header line (8-bit or UTF-16), before the other
 * tests, and so is the dialect: "#H" in the first 256 bytes with Xyce or
 * PSpice named as SOURCE (any letter case), or a value:index pair in the
 * first point after "#C", wherever the header ends. Anything else is
 * detected as WFX_DETECT_FORMAT would. wavtrex-info and the Python module
 * use it. */
#define WFX_DETECT_ALL 0xFFFFFFFEu

/* FileMode: flags of the fileMode field. */
enum FileMode {
    kModeText = 1,                /* read through the text readers */
    kModeBinary = 2,              /* read block by block */
    kModeBigEndian = 4,           /* binary words are big-endian */
    kModeSwapped = kModeBigEndian /* its former name */
};
#define WFX_DETECT_MODE 0 /* passed to open: detect the file mode */

/* AnalysisKind: the analysisKind field (WFX_ANALYSIS_UNSET when not set). */
#define WFX_ANALYSIS_UNSET 0xFFFFFFFFu
enum AnalysisKind {
    kAnalysisTransient = 1,
    kAnalysisAc = 2,
    kAnalysisDc = 3,
    kAnalysisOperatingPoint = 4,
    kAnalysisMeasureTable = 9
};

/* VariableKind: the kind field of a VariableRecord. */
enum VariableKind {
    kKindCsdfNode = 0,      /* CSDF node without complex values */
    kKindReal = 9,          /* real-valued */
    kKindComplex = 10,      /* complex: an imaginary part is stored beside the real part */
    kKindTaggedAxis = 11,   /* tagged record independent variable */
    kKindTaggedCode23 = 13, /* tagged record signal of type code 23 */
    kKindCompound = 16      /* compound sweep variable; typeCode is its TypeRecord index */
};

/* TypeCode: the simulator type codes of a node voltage and a branch current;
 * readers of formats that tell only these apart give the rest kTypeOther. */
enum TypeCode { kTypeVoltage = 1, kTypeCurrent = 8, kTypeOther = 78 };

/* DatasetError: the lastError field. */
enum DatasetError {
    kErrorNone = 0,
    kErrorEmptyFile = 3,
    kErrorOutOfMemory = 8,
    kErrorDuplicateType = 9
};

/* ReadEnding: the readEnding field. A read that meets the end of the file
 * early keeps what it read and succeeds; this tells such a file from a
 * whole one (HSPICE post files). */
enum ReadEnding {
    kEndingComplete = 0,
    kEndingNoEndMarker = 1, /* the last table ends with the file, not with its marker */
    kEndingRowCutShort = 2, /* and its last row lacks missingValues values (read as 0) */
    kEndingValueCut = 3     /* the file ends inside its last value, which reads as its
                               digits say (SPICE raw ASCII: no line end after it) */
};

/* OpenStatus: written by open to the caller's status variable. */
enum OpenStatus {
    kOpenOk = 1,
    kOpenRefused = 2,             /* no reader for the format, or its header reader failed */
    kOpenNoReader = kOpenRefused, /* its former name */
    kOpenEmpty = 3,
    kOpenCannotOpen = 5,
    kOpenUnknown = 7, /* unrecognised format, file mode or format code */
    kOpenOutOfMemory = 8
};

#define WFX_BLOCK_SIZE 8196 /* bytes of blockBuffer and savedBlock */
#define WFX_SYMBOL_BUCKETS 8192

typedef struct VariableRecord {
    int32_t nameOffset;   /* name in namePool */
    uint32_t kind;        /* VariableKind */
    uint32_t typeCode;    /* simulator type code; TypeRecord index for kind 16 */
    uint32_t memberCount; /* members of a compound variable's type, else 0 */
    int32_t identifier;   /* tagged record signal identifier, -1 when none */
} VariableRecord;

typedef struct TypeRecord {
    int32_t nameOffset;  /* name in namePool */
    int32_t kind;        /* -1 when created; 16 compound sweep type, 9 its members */
    int32_t memberCount; /* members of a compound type */
    int32_t parentType;  /* enclosing compound type, -1 at top level */
} TypeRecord;

typedef struct SymbolRecord {
    int32_t nameOffset; /* name in namePool */
    uint16_t nameSpace; /* 7 variables; 13 + parentType for types */
    int32_t ownerIndex; /* record the name was first given to, -1 until set */
    int32_t next;       /* next record in the bucket, -1 at the end */
} SymbolRecord;

typedef struct WaveformDataset {
    /* input */
    struct gzFile_s* stream; /* owned gzip stream */
    int64_t dataOffset;      /* stream position of the first data byte */
    int64_t sizeEstimate;    /* file size at open, times 20 when gzip-named; see open.cpp */
    char fileName[256];      /* the name for messages, cut to 255 bytes */
    char title[100];
    char version[100];
    char date[100];
    uint8_t fileMode;    /* FileMode flags */
    uint32_t lineNumber; /* text lines consumed, quoted in syntax messages */

    /* header description */
    uint32_t dataFormat;        /* DataFormat */
    uint32_t analysisKind;      /* AnalysisKind */
    int32_t signalCount;        /* dependent variables */
    uint32_t blockContinuation; /* byte-framed record continues (0 or 2) */
    int32_t mainCount;          /* HSPICE main variable count, independent included */
    int32_t probeCount;
    int32_t sweepParamCount;  /* sweep parameter values per sweep, 0 without outer sweep */
    int32_t firstSignalIndex; /* leading records before the signals */
    int32_t sweepCount;
    int32_t framingMode; /* -1 undecided, 0 word-framed, 1 byte-framed, 2 length-prefixed */

    /* tables */
    int32_t typeCount;
    int32_t variableCount;
    uint32_t namePoolUsed;
    uint32_t symbolCount;
    const char* scanCursor; /* text parse position of the CSDF and table readers; not owned */
    TypeRecord* types;
    VariableRecord* variables;
    char* namePool;
    int32_t* symbolBuckets; /* WFX_SYMBOL_BUCKETS heads, -1 when empty */
    SymbolRecord* symbols;
    int32_t typeCapacity;
    int32_t variableCapacity;
    uint32_t namePoolCapacity;
    uint32_t symbolCapacity;

    /* block state */
    uint8_t* blockBuffer; /* WFX_BLOCK_SIZE bytes, binary formats only */
    int32_t blockPosition;
    int32_t blockLength;
    uint8_t* savedBlock; /* blockBuffer as it stood right after the header */
    int32_t savedPosition;
    int32_t savedLength;
    uint8_t savedFileMode; /* fileMode then: a swapped block met later holds for one read */
    uint8_t framingValue;  /* marker value of the blocks, from the format (0 without blocks) */

    /* format readers' working state */
    int64_t dataSize;     /* data section size (framed event, tagged record) */
    uint32_t axisPending; /* HSPICE data: next value is an independent value */
    double runningValue;  /* tagged record running time */
    int32_t* signalIdMap; /* signal identifier -> position */
    int32_t signalIdMapSize;
    int32_t* signalIdList; /* grouped signals in header order */
    int32_t signalIdListSize;

    uint32_t lastError;           /* DatasetError */
    void* nameTree;               /* tagged record scope tree */
    void* nameIndex;              /* exact name lookup beside symbolBuckets; owned */
    const uint8_t* wantedSignals; /* set by wfxReadSignals for its read, else NULL */
    void* rowStream;              /* set by wfxStreamSignals for its read, else NULL */
    uint32_t readEnding;          /* ReadEnding: how the latest read found the data's end */
    uint32_t missingValues;       /* with kEndingRowCutShort: the values its last row lacks */
    void* sourceFacts;            /* SPICE raw and CSDF dialect: plots and layout; owned */
} WaveformDataset;

/* The sample values returned by read. Every array is malloc'ed and owned by
 * the caller; release them all with wfxReleaseValues. Absent holders are NULL.
 *   real[i][s]        values of signal i in sweep s
 *   imag[i][s]        imaginary parts (AC only; complex signals only)
 *   axis[h][s]        independent-variable values; h is 0, or the signal for
 *                     formats with per-signal times (holderCount > 1)
 *   counts[h][s]      point counts, same indexing as axis
 *   sweepValues[s][k] sweep parameter k of sweep s (sweepParamCount of them)
 */
typedef struct WaveformValues {
    float*** real;
    float*** imag;
    float*** axis;
    uint32_t** counts;
    float** sweepValues;
    int32_t signalCount; /* entries of real and imag */
    int32_t holderCount; /* entries of axis and counts */
    int32_t sweepSlots;  /* pointer slots per entry (sweepCount as the header gave it) */
    int32_t sweepCount;  /* sweeps read; lower than sweepSlots on a short file */
} WaveformValues;

/* 1 when every signal has its own times and counts (axis[i], counts[i] for
 * signal i), 0 when all signals share entry 0 (one signal reads entry 0 either
 * way). */
static inline int wfxTimesPerSignal(const WaveformValues* values) {
    return values->holderCount > 1;
}

/* Opens fileName (NULL reads standard input, copied to a temporary file
 * first since detection and read seek back). dataFormat WFX_DETECT_FORMAT and
 * fileMode WFX_DETECT_MODE ask for detection. Returns the dataset and status 1,
 * or NULL with the OpenStatus in *status and the reason in the last-error text;
 * a failed open leaves nothing allocated. */
WFX_API WaveformDataset* wfxOpen(const char* fileName, uint32_t dataFormat, uint8_t fileMode,
                                 uint32_t* status);

/* Reads every sweep of every signal into *out (which it clears first).
 * Returns 1, or 0 with lastError set (8 out of memory, 3 empty file) and
 * nothing left allocated in *out. May be called again. */
WFX_API int wfxRead(WaveformDataset* ds, WaveformValues* out);

/* Reads like wfxRead, but keeps only the signals for which wanted[i] is
 * nonzero (wanted has signalCount entries; NULL keeps all). The entries of the
 * other signals in real and imag, and in axis and counts when every signal
 * has its own (holderCount > 1), are NULL. The wanted signals' arrays equal
 * those wfxRead returns. HSPICE post files skip the other signals' values
 * while decoding, so memory follows the signals kept; the other formats read
 * everything and release the rest before returning. */
WFX_API int wfxReadSignals(WaveformDataset* ds, const uint8_t* wanted, WaveformValues* out);

/* Receives one piece of a streamed read; see wfxStreamSignals. Returns
 * nonzero to go on, 0 to end the read there. */
typedef int (*WfxRowSink)(const WaveformValues* rows, void* context);

/* 1 when wfxStreamSignals can read ds: an HSPICE post file of one table
 * (no outer sweep); 0 otherwise. */
WFX_API int wfxCanStream(const WaveformDataset* ds);

/* Reads like wfxReadSignals, but hands the rows to sink in pieces of at most
 * rowsPerPiece rows instead of keeping them, so memory stays at one piece of
 * the kept columns whatever the size of the file. Each piece is laid out like
 * wfxRead's values for one sweep: counts[0][0] rows, axis[0][0] their
 * independent values, real[i][0] (and imag[i][0]) those of wanted signal i;
 * the other entries are NULL. Pieces come in file order; their arrays belong
 * to the reader and are valid during the call only. Returns 1, or 0 with
 * lastError set as wfxRead would; a failure always comes before the first
 * piece, so rows once handed over are never taken back. Datasets that
 * wfxCanStream refuses return 0 without reading. */
WFX_API int wfxStreamSignals(WaveformDataset* ds, const uint8_t* wanted, uint32_t rowsPerPiece,
                             WfxRowSink sink, void* context);

/* Releases every array in *values and clears it. */
WFX_API void wfxReleaseValues(WaveformValues* values);

/* The values of a read as doubles: the same layout, indexing and ownership as
 * WaveformValues (release them with wfxReleaseValues64). */
typedef struct WaveformValues64 {
    double*** real;
    double*** imag;
    double*** axis;
    uint32_t** counts;
    double** sweepValues;
    int32_t signalCount;
    int32_t holderCount;
    int32_t sweepSlots;
    int32_t sweepCount;
} WaveformValues64;

/* Reads like wfxReadSignals, into doubles: binary doubles as stored (SPICE
 * raw files, the values of HSPICE 2001 post files, the independent values
 * of 2001 and 2013 ones), text values parsed as written (raw ASCII, both
 * CSDF forms, HSPICE text), and stored floats widened (the others). So a
 * float64 time axis keeps steps that a float cannot tell apart. wanted may be
 * NULL. Returns 1, or 0 as wfxRead does. wfxRead's floats are these values
 * narrowed, each one once. */
WFX_API int wfxReadSignals64(WaveformDataset* ds, const uint8_t* wanted, WaveformValues64* out);

/* Releases every array in *values and clears it. */
WFX_API void wfxReleaseValues64(WaveformValues64* values);

/* Bits the file stores per value, 64 or 32: which 0 asks for the signals'
 * values, 1 for the independent variable's. Text values count 64, as
 * wfxReadSignals64 parses them as doubles. 0 for a NULL dataset. */
WFX_API int wfxStoredBits(const WaveformDataset* ds, int which);

/* Releases the dataset and closes its stream. Returns 1, or 0 for NULL. */
WFX_API int wfxClose(WaveformDataset* ds);

/* This thread's last-error text: the message of its latest failure. */
WFX_API const char* wfxLastErrorText(void);

/* This thread's reason for its latest failure, for reports: the message
 * stored in the last-error text, with the system's words after it where the
 * system gave some ("... failed !! Permission denied."), or, where a failure
 * leaves that text as it was (a format without a reader, a read of a format
 * that has a header only, a few header faults), the library's own words, such
 * as "measurement table: this format has a header only". Emptied by open. */
WFX_API const char* wfxLastReason(void);

/* WordsOf: which kind of code wfxWords describes. */
enum WordsOf {
    kWordsOpenStatus = 0, /* an OpenStatus: "empty file", "cannot open", ... */
    kWordsAnalysis = 1,   /* an AnalysisKind: "transient", "AC", "DC sweep", ... */
    kWordsReadEnding = 2, /* a ReadEnding: "complete", "no end marker", "last row cut short" */
    kWordsKind = 3,       /* a VariableKind, as its values read: "real", "complex", "compound" */
    kWordsType = 4,       /* a signal's type code: "voltage" (1), "current" (8), "other" (78) */
    kWordsTypeUnit = 5,   /* the unit of a signal's type code: "V", "A" */
    kWordsAxis = 6,       /* the independent variable of an AnalysisKind: "time", "frequency" */
    kWordsAxisUnit = 7    /* its unit: "s", "Hz" */
};

/* A few words for a code, for reports: an open status, an analysis kind
 * ("not set" for all ones), a read ending, a variable kind, a signal's type
 * code or an analysis's independent variable, or the unit of those last two.
 * NULL for a code that has none. */
WFX_API const char* wfxWords(uint32_t of, uint32_t code);

/* The NUL-terminated name of a variable or type record. */
WFX_API const char* wfxName(const WaveformDataset* ds, int32_t nameOffset);

/* The name of variable record `record` (the independent variable is
 * firstSignalIndex - 1, signal i firstSignalIndex + i), in full; "" when
 * the dataset has no such record. */
WFX_API const char* wfxVariableName(const WaveformDataset* ds, int64_t record);

/* A short name of a data format code ("csdf", "framed event", ...), from the
 * reader's dispatch table; NULL for a code that has no entry. */
WFX_API const char* wfxFormatName(uint32_t dataFormat);

/* 1 when every signal of the dataset shares one set of times (entry 0 of
 * axis and counts), 0 when each has its own or ds is NULL. */
WFX_API int wfxSharedTimes(const WaveformDataset* ds);

/* 1 when the dataset's file is gzip-compressed, 0 when it is read as it is
 * (or ds is NULL). */
WFX_API int wfxIsCompressed(const WaveformDataset* ds);

/* What a SPICE raw or CSDF dialect file says of itself (formats 16, 17). */
typedef struct WfxSourceFacts {
    const char* simulator; /* "ngspice", "LTspice", "Xyce", "QSPICE", "PSpice" or "unknown" */
    const char* encoding;  /* "binary", "ASCII", "binary, UTF-16 header", "text": of the
                              plot read */
    const char* flags;     /* the Flags line of the plot read ("" when none) */
    int32_t plotCount;     /* plots, or CSDF blocks, in the file */
} WfxSourceFacts;

typedef struct WfxPlotFacts {
    const char* name;      /* Plotname, or the CSDF block's SUBTITLE */
    const char* flags;     /* its Flags line */
    int32_t variableCount; /* the independent variable included */
    int64_t pointCount;    /* as its header declares */
    int32_t firstSweep;    /* the first sweep read from it, -1 when it is not read */
    uint32_t analysisKind; /* AnalysisKind of the plot */
} WfxPlotFacts;

/* Fills *facts for a dataset of format 16 or 17 and returns 1; 0 otherwise.
 * The texts live as long as the dataset. */
WFX_API int wfxSourceFacts(const WaveformDataset* ds, WfxSourceFacts* facts);

/* Fills *facts for plot number plot (from 0) and returns 1; 0 when there is
 * no such plot or the format has none. */
WFX_API int wfxPlotFacts(const WaveformDataset* ds, int32_t plot, WfxPlotFacts* facts);

/* Makes plot number plot (from 0, as wfxPlotFacts counts) the one read. The
 * dataset's header fields (signalCount, the variables and their names,
 * analysisKind, the sweeps) then describe it, and reads return its values,
 * with the plots of the same variables and analysis as its sweeps. An
 * operating point plot reads as one point: every variable is a signal, and
 * the independent variable is a point number "point" of value 0. Open
 * selects the first plot that is no operating point. Returns 1, or 0 with a
 * reason (wfxLastReason): for no such plot or a format without plots the
 * selection stays; for a plot that cannot be described (a stepped plot whose
 * values cannot be read) the dataset describes none, and reads fail until
 * another is selected. */
WFX_API int wfxSelectPlot(WaveformDataset* ds, int32_t plot);

#ifdef __cplusplus
}
#endif

#endif /* WAVTREX_READER_WFX_H */
