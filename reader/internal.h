// Reader library internals shared by the core and the format readers.
#ifndef WAVTREX_READER_INTERNAL_H
#define WAVTREX_READER_INTERNAL_H

#include <zlib.h>

#include <cstdint>

#include "wfx.h"

// ---- dataset tables (dataset.cpp) -------------------------------------------

constexpr uint16_t kVariableNameSpace = 7;
constexpr int kTypeNameSpaceBase = 13;  // types live in 13 + parentType

// Allocates a dataset with every field at its initial value. Returns NULL
// after storing "Error: Out of memory !!" when an allocation fails.
WaveformDataset* createDataset();

// Releases the dataset's tables and buffers (not the stream) and the dataset.
void destroyDataset(WaveformDataset* ds);

// Bucket of a name: h = h * 33 + (signed char) byte, masked to 13 bits.
uint32_t nameHash(const char* name);

// Finds the name in nameSpace, or adds it when create is set. Returns the
// record (valid until the next add) or NULL; *added tells whether it is new.
// On allocation failure: lastError 8, "Error: Out of memory !!", NULL.
SymbolRecord* findOrAddName(WaveformDataset* ds, const char* name, uint16_t nameSpace, int create,
                            int* added);

// Appends name and its NUL to namePool. Returns its offset or -1 (out of memory).
int32_t addNameToPool(WaveformDataset* ds, const char* name);

// Appends a VariableRecord. Returns its position, the position of the first
// variable of the same name when there is one, or -1 (out of memory).
int32_t addVariable(WaveformDataset* ds, const char* name, uint32_t typeCode, uint32_t kind);

// Appends a TypeRecord under parentType. Returns its index, or -1 on a name
// already defined in that name space (lastError 9) or out of memory.
int32_t addType(WaveformDataset* ds, const char* name, int32_t parentType);

// Sets lastError 8 and stores the out-of-memory text; returns 0 for chaining.
int outOfMemory(WaveformDataset* ds);

// ---- diagnostics (diagnostics.cpp) -------------------------------------------

constexpr int kLastErrorSize = 1024;

// Formats into the process-wide last-error text, cut to 1023 characters.
void storeMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Empties the last-error text.
void clearMessage();

// Writes "ERROR: " and the message to standard error and exits with status 1.
[[noreturn]] void fatalError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ---- text readers (text_reader.cpp) ------------------------------------------

// Next token separated by any byte of separators (NULL or "" means ", \t\r\n").
// A newline inside a token is dropped and joins the two halves. *lineCount is
// set to the newlines consumed. Returns the process-wide token buffer (valid
// until the next call) or NULL at the end of input.
char* nextToken(gzFile stream, const char* separators, uint32_t* lineCount);

// Current capacity of the token buffer (starts at 300, doubles).
int32_t tokenCapacity();

// Next whole line with its newline, malloc'ed and owned by the caller; NULL at
// the end of input (a last line without newline is dropped) or out of memory.
char* nextLine(gzFile stream);

// ---- open support (open.cpp) ---------------------------------------------------

// Size of the file in bytes as open found it (times 20 for ".gz" names), or -1
// when ds is NULL. Used to size the data readers' first buffers.
int64_t estimatedDataSize(const WaveformDataset* ds);

// The estimated data size when it is at least 1. Otherwise sets lastError 3,
// stores "Error: Empty file %s !!" and returns 0: every data reader starts here.
int64_t requireDataSize(WaveformDataset* ds);

inline bool isPostFormat(uint32_t format) {
    return format < 16 && ((WFX_POST_FORMAT_MASK >> format) & 1u) != 0;
}

#endif  // WAVTREX_READER_INTERNAL_H
