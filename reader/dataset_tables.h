// The dataset's tables and its size estimate (dataset.cpp).
#ifndef WAVTREX_READER_DATASET_TABLES_H
#define WAVTREX_READER_DATASET_TABLES_H

#include <cstdint>

#include "wfx.h"

constexpr uint16_t kVariableNameSpace = 7;
constexpr int kTypeNameSpaceBase = 13;  // types live in 13 + parentType

// The type codes the text formats give their variables by name or type.
constexpr uint32_t kTypeVoltage = 1;
constexpr uint32_t kTypeCurrent = 8;
constexpr uint32_t kTypeOther = 78;

// Type codes whose variables are complex in an AC analysis: every seventh code
// from kTypeVoltage to 43. HSPICE post files add kTypeOther and 190 to 193.
inline bool isComplexTypeCode(int64_t code, bool postExtras) {
    if (code >= kTypeVoltage && code <= 43 && (code - kTypeVoltage) % 7 == 0) return true;
    return postExtras && (code == kTypeOther || (code >= 190 && code <= 193));
}

// Allocates a dataset with every field at its initial value. Returns NULL
// after storing "Error: Out of memory !!" when an allocation fails.
WaveformDataset* createDataset();

// Releases the core's tables and buffers and the dataset; not the stream, nor what
// a format reader left (its row's release function frees that).
void destroyDataset(WaveformDataset* ds);

// Bucket of a name: h = h * 33 + (signed char) byte, masked to 13 bits.
uint32_t nameHash(const char* name);

// The symbol of the name in nameSpace, added when it is new (*added tells).
// Returns the record (valid until the next add), or NULL after storing
// lastError 8 and "Error: Out of memory !!".
SymbolRecord* internName(WaveformDataset* ds, const char* name, uint16_t nameSpace, bool* added);

// Appends name and its NUL to namePool. Returns its offset or -1 (out of memory).
int32_t addNameToPool(WaveformDataset* ds, const char* name);

// Appends a VariableRecord. Returns its position, the position of the first
// variable of the same name when there is one, or -1 (out of memory).
int32_t addVariable(WaveformDataset* ds, const char* name, uint32_t typeCode, uint32_t kind);

// Empties the variables, their names and symbols, for a reader that
// describes the file anew (a plot selection); formats with types have none.
void clearVariables(WaveformDataset* ds);

// Appends a TypeRecord under parentType. Returns its index, or -1 on a name
// already defined in that name space (lastError 9) or out of memory.
int32_t addType(WaveformDataset* ds, const char* name, int32_t parentType);

// Size of the file in bytes as open found it (times 20 for ".gz" names), or -1
// when ds is NULL. Used to size the data readers' first buffers.
int64_t estimatedDataSize(const WaveformDataset* ds);

// The estimated data size when it is at least 1. Otherwise reports
// Failure::kEmptyData and returns 0: every data reader starts here.
int64_t requireDataSize(WaveformDataset* ds);

#endif  // WAVTREX_READER_DATASET_TABLES_H
