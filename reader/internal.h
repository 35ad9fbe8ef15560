// Everything the core offers the format readers, for code that wants all of
// it at once (the tests). Library sources include the headers they use.
#ifndef WAVTREX_READER_INTERNAL_H
#define WAVTREX_READER_INTERNAL_H

#include "dataset_tables.h"
#include "failure.h"
#include "format_table.h"
#include "growth.h"
#include "text_reader.h"

#endif  // WAVTREX_READER_INTERNAL_H
