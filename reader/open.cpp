// Open, read and close: format detection and the value holders. What the
// core knows of each format comes from its row in the dispatch table.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "dataset_tables.h"
#include "detection.h"
#include "failure.h"
#include "format_table.h"
#include "formats/block_layer.h"
#include "value_holders.h"

namespace {

bool usesBlockBuffers(const FormatEntry* format, uint8_t mode) {
    if (format == nullptr) return false;
    return format->blocks == BlockUse::kAlways ||
           (format->blocks == BlockUse::kWhenBinary && mode == kModeBinary);
}

// Closes the stream and frees the dataset: first what the format's header
// reader left in it, through the format's own release, then the core's part.
void releaseDataset(WaveformDataset* ds) {
    const FormatEntry* format = findFormat(ds->dataFormat);
    if (format != nullptr && format->release != nullptr) format->release(ds);
    if (ds->stream != nullptr) gzclose(ds->stream);
    ds->stream = nullptr;
    destroyDataset(ds);
}

WaveformDataset* failOpen(WaveformDataset* ds, uint32_t* status, uint32_t code) {
    *status = code;
    if (ds != nullptr) releaseDataset(ds);
    return nullptr;
}

// Size of a path in bytes, or -1 with *error set when it cannot be queried or
// is no file.
int64_t fileSize(const char* path, std::error_code* error) {
    auto size = std::filesystem::file_size(std::filesystem::u8path(path), *error);
    if (*error) return -1;
    return static_cast<int64_t>(size);
}

// True when path names something that exists and is neither a regular file
// nor a folder: a FIFO, device or socket, whose open or read could block
// forever waiting for a writer. A folder fails later like a missing file.
bool isSpecialFile(const char* path) {
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::u8path(path), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

// Larger than zlib's default 8 KiB, so big files take few system calls, yet
// small enough that zlib's buffers (three times this) stay in the cache and
// cost few fresh pages: a run of a small file is mostly such costs. The fuzz
// build sets a small one: inputs are tiny and refills get exercised.
#ifndef WAVTREX_STREAM_BUFFER
#define WAVTREX_STREAM_BUFFER (1u << 16)
#endif
constexpr unsigned kStreamBuffer = WAVTREX_STREAM_BUFFER;

template <typename T>
T* allocEntries(int32_t count) {
    size_t n = count > 0 ? static_cast<size_t>(count) : 1;
    return static_cast<T*>(std::calloc(n, sizeof(T)));
}

// Standard input may be a pipe, yet detection and every read seek back to
// the start: it is copied to an unnamed temporary file, read in its place.
// Returns that file's descriptor at position 0, or -1; *size gets its length
// and *gzip whether it starts with the gzip magic.
int copyStandardInput(int64_t* size, bool* gzip) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);  // text mode would turn CR LF into LF
#endif
    std::FILE* copy = std::tmpfile();
    if (copy == nullptr) return -1;
    std::vector<char> buffer(1 << 16);
    int64_t total = 0;
    bool ok = true;
    for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0;) {
        ok = std::fwrite(buffer.data(), 1, n, copy) == n;
        total += static_cast<int64_t>(n);
    }
    ok = ok && !std::ferror(stdin) && std::fflush(copy) == 0;
    unsigned char magic[2] = {0, 0};
    std::rewind(copy);
    *gzip = std::fread(magic, 1, 2, copy) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
    *size = total;
    // The descriptor outlives the stream; the unnamed file goes with the last.
    int fd = ok ? dup(fileno(copy)) : -1;
    std::fclose(copy);
    if (fd >= 0 && lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

int readOutOfMemory(WaveformDataset* ds, WaveformValues* out) {
    wfxReleaseValues(out);
    return reportFailure(ds, Failure::kOutOfMemoryHolders);
}

// Opens the gzip stream (gzopen reads a plain file unchanged, so every file
// goes through it) and takes the size estimate, by the name as given: the copy
// kept in fileName may be cut. Without a name the standard input is read.
// Returns kOpenOk or the failure status, with the message stored.
uint32_t openStream(WaveformDataset* ds, const char* fileName) {
    int64_t size = -1;
    bool gzip = false;
    std::error_code error;
    if (fileName == nullptr) {
        int fd = copyStandardInput(&size, &gzip);
        if (fd >= 0) {
            ds->stream = gzdopen(fd, "rb");
            if (ds->stream == nullptr) close(fd);
        }
    } else if (isSpecialFile(fileName)) {
        reportFailure(ds, Failure::kOpenSpecialFile, fileName);
        return kOpenCannotOpen;
    } else if (*fileName != '\0') {
        errno = 0;
        ds->stream = gzopen(fileName, "rb");
        if (ds->stream == nullptr) error = std::error_code(errno, std::generic_category());
        if (ds->stream != nullptr) size = fileSize(fileName, &error);
        gzip = std::strstr(fileName, ".gz") != nullptr;
    }
    if (ds->stream == nullptr || size <= 0) {
        reportFailure(ds, Failure::kOpenFailed, fileName != nullptr ? fileName : "");
        // The message stays as it is; the reason says why, when the system does.
        if (error) addReason(error.message().c_str());
        return ds->stream != nullptr && size == 0 ? kOpenEmpty : kOpenCannotOpen;
    }
    gzbuffer(ds->stream, kStreamBuffer);
    ds->sizeEstimate = gzip ? size * 20 : size;
    return kOpenOk;
}

// Settles the data format and file mode, detecting what the caller left open.
// Returns kOpenOk or kOpenUnknown with the message stored.
uint32_t settleFormat(WaveformDataset* ds, uint32_t* dataFormat, uint8_t* fileMode) {
    if (*dataFormat == WFX_DETECT_FORMAT || *dataFormat == WFX_DETECT_ALL) {
        const FormatEntry* detected = detectFormat(ds->stream, *dataFormat == WFX_DETECT_ALL);
        if (detected == nullptr) {
            reportFailure(ds, Failure::kUnknownFormat);
            return kOpenUnknown;
        }
        *dataFormat = detected->code;
    }
    if (*fileMode == WFX_DETECT_MODE)
        *fileMode = detectFileMode(ds->stream, findFormat(*dataFormat));
    if (*fileMode != kModeText && *fileMode != kModeBinary) {
        reportFailure(ds, Failure::kUnknownMode, nullptr, *fileMode);
        return kOpenUnknown;
    }
    return kOpenOk;
}

}  // namespace

WaveformDataset* wfxOpen(const char* fileName, uint32_t dataFormat, uint8_t fileMode,
                         uint32_t* status) {
    uint32_t ignored = 0;
    if (status == nullptr) status = &ignored;
    clearMessage();
    *status = kOpenOk;

    WaveformDataset* ds = createDataset();
    if (ds == nullptr) return failOpen(nullptr, status, kOpenOutOfMemory);
    uint32_t opened = openStream(ds, fileName);
    if (opened != kOpenOk) return failOpen(ds, status, opened);
    uint32_t settled = settleFormat(ds, &dataFormat, &fileMode);
    if (settled != kOpenOk) return failOpen(ds, status, settled);

    // A longer path is still opened as given; the copy kept for messages is cut.
    if (fileName != nullptr) std::snprintf(ds->fileName, sizeof ds->fileName, "%s", fileName);
    // Detection left the stream at the start, in the mode gzopen gave it.
    ds->fileMode = fileMode;
    ds->dataFormat = dataFormat;

    const FormatEntry* format = findFormat(dataFormat);
    if (format != nullptr) ds->framingValue = format->framingValue;
    if (usesBlockBuffers(format, fileMode)) {
        ds->blockBuffer = static_cast<uint8_t*>(std::malloc(WFX_BLOCK_SIZE));
        ds->savedBlock = static_cast<uint8_t*>(std::malloc(WFX_BLOCK_SIZE));
        if (ds->blockBuffer == nullptr || ds->savedBlock == nullptr) {
            reportFailure(ds, Failure::kOutOfMemoryHolders);
            return failOpen(ds, status, kOpenOutOfMemory);
        }
    }
    if (format == nullptr) {
        reportFailure(ds, Failure::kUnknownCode, nullptr, static_cast<int>(dataFormat));
        return failOpen(ds, status, kOpenUnknown);
    }
    if (format->header == nullptr) reportFailure(ds, Failure::kNoReader, format->name);
    if (format->header == nullptr || !format->header(ds, *format)) {
        return failOpen(ds, status, kOpenRefused);
    }

    ds->dataOffset = gztell(ds->stream);
    if (ds->blockBuffer != nullptr) saveBlockState(ds);
    return ds;
}

int wfxRead(WaveformDataset* ds, WaveformValues* out) {
    if (ds == nullptr || out == nullptr) return reportFailure(nullptr, Failure::kNullDataset);
    std::memset(out, 0, sizeof *out);
    ds->readEnding = kEndingComplete;
    ds->missingValues = 0;
    const FormatEntry* format = findFormat(ds->dataFormat);
    if (format == nullptr) {
        return reportFailure(ds, Failure::kUnknownCode, nullptr, static_cast<int>(ds->dataFormat));
    }
    if (format->data == nullptr) return reportFailure(ds, Failure::kHeaderOnly, format->name);

    int32_t signals = ds->signalCount > 0 ? ds->signalCount : 0;
    out->signalCount = signals;
    out->holderCount = format->shape == ValueShape::kAxisPerSignal ? signals : 1;
    out->sweepSlots = ds->sweepCount > 0 ? ds->sweepCount : 0;
    out->sweepCount = out->sweepSlots;
    out->real = allocEntries<float**>(signals);
    if (out->real == nullptr) return readOutOfMemory(ds, out);
    out->axis = allocEntries<float**>(out->holderCount);
    out->counts = allocEntries<uint32_t*>(out->holderCount);
    if (out->axis == nullptr || out->counts == nullptr) return readOutOfMemory(ds, out);
    if (format->imaginaryParts && ds->analysisKind == kAnalysisAc) {
        out->imag = allocEntries<float**>(signals);
        if (out->imag == nullptr) return readOutOfMemory(ds, out);
    }
    if (!format->data(ds, out, *format)) {
        wfxReleaseValues(out);
        return 0;
    }
    // A data reader may lower sweepCount on a short file.
    out->sweepCount = ds->sweepCount;
    return 1;
}

int wfxReadSignals(WaveformDataset* ds, const uint8_t* wanted, WaveformValues* out) {
    if (ds == nullptr || out == nullptr) return reportFailure(nullptr, Failure::kNullDataset);
    ds->wantedSignals = wanted;
    const int ok = wfxRead(ds, out);
    ds->wantedSignals = nullptr;
    if (!ok || wanted == nullptr) return ok;
    // Readers that cannot skip while decoding stored everything.
    for (int32_t i = 0; i < out->signalCount; ++i) {
        if (wanted[i] != 0) continue;
        releaseEntry(out->real, i, out->sweepSlots);
        releaseEntry(out->imag, i, out->sweepSlots);
        if (out->holderCount > 1 && i < out->holderCount) {
            releaseEntry(out->axis, i, out->sweepSlots);
            std::free(out->counts[i]);
            out->counts[i] = nullptr;
        }
    }
    return 1;
}

int wfxCanStream(const WaveformDataset* ds) {
    if (ds == nullptr) return 0;
    const FormatEntry* format = findFormat(ds->dataFormat);
    return format != nullptr && format->streamable && ds->sweepCount == 1 &&
           ds->sweepParamCount == 0;
}

int wfxStreamSignals(WaveformDataset* ds, const uint8_t* wanted, uint32_t rowsPerPiece,
                     WfxRowSink sink, void* context) {
    if (!wfxCanStream(ds) || sink == nullptr || rowsPerPiece == 0) {
        return reportFailure(ds, Failure::kCannotStream);
    }
    RowStream stream{sink, context, rowsPerPiece};
    ds->rowStream = &stream;
    WaveformValues piece;
    const int ok = wfxReadSignals(ds, wanted, &piece);
    ds->rowStream = nullptr;
    wfxReleaseValues(&piece);
    return ok;
}

void wfxReleaseValues(WaveformValues* values) {
    releaseHolders(values);
}

int wfxClose(WaveformDataset* ds) {
    if (ds == nullptr) return reportFailure(nullptr, Failure::kNullDataset);
    releaseDataset(ds);
    return 1;
}

const char* wfxFormatName(uint32_t dataFormat) {
    const FormatEntry* entry = findFormat(dataFormat);
    return entry != nullptr ? entry->name : nullptr;
}

int wfxSharedTimes(const WaveformDataset* ds) {
    const FormatEntry* format = ds != nullptr ? findFormat(ds->dataFormat) : nullptr;
    return format != nullptr && format->shape == ValueShape::kSharedAxis ? 1 : 0;
}

int wfxIsCompressed(const WaveformDataset* ds) {
    return ds != nullptr && ds->stream != nullptr && gzdirect(ds->stream) == 0 ? 1 : 0;
}
